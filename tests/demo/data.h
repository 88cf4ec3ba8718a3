// The data set of the demo tests: every mesh present, scene1.a3f with four objects.
#pragma once

#include <string>

const std::string& Data();

// Runs the loading sequence (and one grid frame) once, so that scenes can be
// called directly.
void EnsurePrepared();
