#pragma once
// What the process does about the passwords it may hold in memory.

// Keeps a crash from writing the process's memory, passwords included, to a
// core file, and other programs of the same user from reading it through a
// debugger interface. Called first thing at start-up; harmless to repeat.
void KeepSecretsOutOfCoreDumps();
