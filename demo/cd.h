// CD audio: the drive plays the show's music, track 2, by itself through the
// Linux CD-ROM ioctls. Each operation prints its failure on standard error
// with the program name (argv[0]) and ends the process with status 1.
#pragma once

// Opens the device read-only and returns the descriptor.
int cd_open(int argc, char** argv, const char* device);

// Reads the table-of-contents header, then plays track 2 index 1 to track 2
// index 1. Returns the play request's result.
int cd_play(int argc, char** argv, int descriptor);

// Stops the drive. Returns the request's result.
int cd_stop(int argc, char** argv, int descriptor);
