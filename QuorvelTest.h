// Declarations of the test skeleton: the playback program's wiring with
// empty producer and player functions.
#ifndef QUORVEL_TEST_H
#define QUORVEL_TEST_H

#include "common.h"

#define DEBUG 1

void audioMaker(char *audioFile);
void audioPlayer();

#endif
