#pragma once
// The window's part of the assembly: what TForm1 is given, from the engines
// (assembly.h) that outlive it.
#include <string>

#include "Unit1.h"
#include "assembly.h"

TForm1Deps FormDepsFor(Engines& engines, std::string listFilePath, std::string oldListFilePath = {});
