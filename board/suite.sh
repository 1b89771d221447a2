# The suite job: the end-to-end groups and the skeleton on the board's kernel,
# each reported as "board: suite GROUP status N: LAST LINE", failures "board: | ...".
export QUORVEL=/job/bin/Quorvel QUORVEL_TEST=/job/bin/QuorvelTest
export FAILCALL_LIB=/job/bin/libfailcall.so HOST_BIN=/job/helpers RUN=
# The tests' files go to the root disk: ext4 refuses a large file to an
# open without large-file support, as tmpfs does not.
export TMPDIR=/var/tmp
report() {
    echo "board: suite $1 status $2: $(tail -n 1 /tmp/$1.log)"
    [ "$2" -eq 0 ] || sed -n 's/^/board: | /p' /tmp/$1.log | tail -n 20
}
for group in $(cat /job/groups); do
    bash /job/tests/e2e.sh "$group" > /tmp/$group.log 2>&1
    report "$group" $?
done
bash /job/tests/skeleton.sh > /tmp/skeleton.log 2>&1
report skeleton $?
