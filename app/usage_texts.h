#pragma once
// What the three programs print for --help and --version. The texts live here, apart from the
// programs' own argument handling, so that each main needs only one line for them.

namespace vendrask {

enum class TProgram { Vendrask, VendraskArchiv, Olvexhost };

// When an argument asks for help (--help, -h) or the version (--version), prints the answer (the
// help, when both are asked) to standard output and returns true; the program then ends with
// status 0 and does nothing else. For vendrask any argument may ask, for the two programs that
// take file names only the first.
bool AnswerInfoRequest(TProgram program, int argc, char** argv);

// The version of the programs, as --version prints it.
const char* ProgramVersion();

}  // namespace vendrask
