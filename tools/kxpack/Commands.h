// The kxpack subcommands. Each takes the arguments after its name and
// returns the exit code.
#pragma once

int RunKeygen(int argc, char** argv);
int RunBuild(int argc, char** argv);
int RunInspect(int argc, char** argv);
