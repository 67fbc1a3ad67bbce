// Sub-commands of the `vexa` program. Each lives in its own file and gets
// the arguments after its name (argv[0] is the sub-command's name).
#pragma once

int CommandInfo(int argc, char** argv);
int CommandSample(int argc, char** argv);
int CommandEncode(int argc, char** argv);
int CommandDecode(int argc, char** argv);
int CommandLogo(int argc, char** argv);
int CommandBundle(int argc, char** argv);
int CommandPan(int argc, char** argv);
