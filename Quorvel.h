// Declarations of the playback program: the sample store, the output
// buffer, and the steps that carry the clip from the file into the pipe.
#ifndef QUORVEL_H
#define QUORVEL_H

#include "common.h"

constexpr int storeSize = 28600;  // bytes of clip kept, and of one pass
constexpr const char playerRate[] = "22100";
constexpr int passCount = 6;      // speed steps 0 (zero bytes) to 5
constexpr int writesPerPass = 5;

// The clip, loaded once; positions from sampleSize on are never loaded.
extern unsigned char samples[storeSize];
extern int sampleSize;

// The bytes of the current pass: buf[0 .. bufSize).
extern unsigned char buf[storeSize];
extern int bufSize;

// Loads the first storeSize bytes of the file at path, or ends the
// process with status 1 and a message.
void getAudioSamples(const char *path);

// Rebuilds buf for a speed step: 0 is a pass of zero bytes, the lowest
// level; step 1 to 6 keeps 7 - speed bytes of every 8 - speed.  A clip of
// 0 or 1 bytes leaves buf as it was.
void setSamplesSpeed(int speed);

// Writes the six passes, five times each, to standard output and ends
// the process: status 0 when everything was written, 1 otherwise.
[[noreturn]] void audioMaker();

// Announces and starts the player on standard input; returns only when
// it could not be started, with the failed start's result.
int audioPlayer();

#endif
