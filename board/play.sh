# The board's play job: Quorvel, as installed by its package, plays each
# clip of the job disk through the sound card, run by an ordinary user in
# group audio.  While it plays, the stream's hardware parameters are read
# from the kernel.  Each clip's results go to the console as lines
# "board: play NAME WHAT".
params=/proc/asound/card0/pcm0p/sub0/hw_params
for clip in $(cat /job/clips); do
    setpriv --reuid=1000 --regid=1000 --groups=audio env HOME=/tmp \
        Quorvel "/job/$clip.raw" > /tmp/out 2> /tmp/err &
    pid=$!
    until grep -q '^rate:' $params 2> /dev/null || ! kill -0 $pid 2> /dev/null; do
        sleep 0.05
    done
    sed "s/^/board: play $clip hw_params /" $params
    wait $pid
    echo "board: play $clip status $?"
    sed "s/^/board: play $clip out /" /tmp/out
    sed "s/^/board: play $clip err /" /tmp/err
done
# The emulator holds back the last frames of a stream until more audio
# comes: a second of silence pushes them out.
head -c 22100 /dev/zero | tr '\0' '\200' | aplay -q -r 22100
