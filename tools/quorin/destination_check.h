// Checks the destinations of a project's files as Windows will resolve them:
// names Windows refuses or changes, and two entries that land on one file, or
// a file and a folder of one name. Each collision names both project lines.
#pragma once

#include <string>
#include <vector>

#include "project.h"

void CheckDestinations(const Project& project, std::vector<std::string>* errors);
