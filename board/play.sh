# The play job, as a board's owner would do it: apt installs the package, a
# user in group audio runs debian/tests and plays each clip through the card,
# apt removes it; results as lines "board: play WHAT ...".
params=/proc/asound/card0/pcm0p/sub0/hw_params
say() { sed "s/^/board: play $1 /"; }
user() { setpriv --reuid=1000 --regid=1000 --groups=audio env HOME=/tmp "$@"; }

rm -f /etc/apt/sources.list /etc/apt/sources.list.d/*
echo 'deb [trusted=yes] file:/job/repo ./' > /etc/apt/sources.list
(apt-get -q update && cd /job && apt-get -y install ./quorvel_*_armel.deb) > /tmp/apt.log 2>&1
echo "board: play install status $?"
say apt < /tmp/apt.log
dpkg-query -W -f='${Status}\n' quorvel | say installed
# The package's own as-installed tests (debian/tests), as its user.
for test in $(sed -n 's/^Tests: //p' /job/tests/control); do
    mkdir -m 777 "/tmp/$test"
    (cd /job && user env AUTOPKGTEST_TMP="/tmp/$test" PROGRAMME=/job/programme sh "tests/$test") \
        > /tmp/test 2>&1
    echo "board: play test $test status $?"
    say "test $test" < /tmp/test
done
dpkg -L quorvel > /tmp/listed
say listed < /tmp/listed

for clip in $(cat /job/clips); do
    user Quorvel "/job/$clip.raw" > /tmp/out 2> /tmp/err &
    pid=$!
    until grep -q '^rate:' $params 2> /dev/null || ! kill -0 $pid 2> /dev/null; do
        sleep 0.05
    done
    say "$clip hw_params" < $params
    wait $pid
    echo "board: play $clip status $?"
    say "$clip out" < /tmp/out
    say "$clip err" < /tmp/err
done
# The emulator holds back the last frames of a stream until more audio
# comes: a second of silence pushes them out.
head -c 22100 /dev/zero | tr '\0' '\200' | aplay -q -r 22100

apt-get -y remove quorvel > /tmp/apt.log 2>&1
echo "board: play remove status $?"
while read -r path; do
    [ -f "$path" ] && echo "board: play left $path"
done < /tmp/listed
dpkg-query -W -f='${Status}\n' quorvel 2>&1 | say removed
