// Where a build writes: the setup file, its volume files beside it, and the
// folders made for them. Also how the build recognises its own outputs among
// the files a project names, so that it never reads what it is writing.
#pragma once

#include <string>
#include <vector>

// Host path of volume k (k >= 1) of a setup file, named as the setup program
// names it: the name's extension replaced by .Dkk. Empty when the name does
// not fit a path buffer of the setup program.
std::string VolumePath(const std::string& setupPath, int k);

// Whether two host paths name the same file: the same inode when both exist,
// else the same path once resolved.
bool SameFile(const std::string& a, const std::string& b);

// The number k when path is volume file k of the setup file setupPath, else 0.
int VolumeNumberOf(const std::string& path, const std::string& setupPath);

// Creates the folder and its missing parents, noting each one made so that a
// failed build can take them away again. False with the system's reason.
bool MakeFolders(const std::string& folder, std::vector<std::string>* made, std::string* error);

// Removes the folders MakeFolders made, deepest first, as far as they are empty.
void RemoveFolders(const std::vector<std::string>& made);
