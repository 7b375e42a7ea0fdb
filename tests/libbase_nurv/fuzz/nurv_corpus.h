// Seed inputs of the record layer's fuzz target: file pairs of the NURV file
// writer over the layouts the input can name (every word width, one and
// several sensor sets, one-step headers, calibration sets of each target and
// scope, NANO_RES, real time), with end marks, short records and wrong sizes.
#pragma once

#include <string>
#include <vector>

std::vector<std::string> NurvSeedCorpus();
