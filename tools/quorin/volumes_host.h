// The inspector's side of the data volumes: follows volume files exactly as the
// stub does, but a missing or damaged volume is an error to report, not a prompt.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

// Opens the setup file for reading the data area and positions it at the first
// data byte; the package data's data area start and length must be set. False
// with a message when the file cannot be opened.
bool BeginReadingVolumes(const std::string& setupPath, std::string* error);

// Closes the current data handle.
void EndReadingVolumes();

// Offset in the whole data area of the current data handle's position.
uint64_t DataAreaPosition();

// What OpenNextVolume could not do, naming the file; empty after success.
const std::string& VolumeError();

// Damage noticed in volume files that could still be read (a file shorter
// than its size field says, or bytes behind its data when a volume follows),
// in the order met.
const std::vector<std::string>& VolumeNotes();
// Bytes behind the data of a last volume: read only if a volume followed.
const std::vector<std::string>& VolumeWarnings();

// Host path of the current volume.
std::string CurrentVolumePath();

// Whether volume k (k >= 1) of a setup file, named as VolumePath names it,
// exists as a file.
bool VolumeFileExists(const std::string& setupPath, int k);

// The one wording for bytes behind a volume's data that its size field does
// not count, whether the size is short or bytes were appended.
std::string TrailingBytesNote(const std::string& setupPath, int k, uint64_t extra, uint32_t declared);
