#pragma once
// One setpoint program between the controller and the image: its blocks by program type, with
// 100 ms between blocks. The start values travel as one block for all ten programs.
#include "Sequence.h"

namespace kv10::core {

// PROG.PROG: SP has only the start values; RAMP and JUMP (any other value) have segments, and
// RAMP also its start value.
enum ProgramType { ProgramSp = 0, ProgramRamp = 1, ProgramJump = 2 };

// The table a block kind travels in: COMP, SEGSP, SEGTI.
int blockTable(int kind);
// A block as a failure names it: "program start values", "program 3 setpoints", "program 3 times".
QString blockName(int kind, int program);

// The start values and, unless the type is SP, the program's setpoints and times. Every block
// is asked for even after one failed. A program number outside 0-9 fails with nothing sent.
SequenceResult readProgram(Sequence& sequence, int type, int program);
// The blocks a program of that type has: the start values for SP and RAMP, the setpoints and
// times for RAMP and JUMP; each written even after one failed. Progress 100 is shown after
// the setpoints.
SequenceResult writeProgramBlocks(Sequence& sequence, int type, int program);
// PROG as the image holds it (type and number), progress 100, then the program's blocks.
SequenceResult writeProgram(Sequence& sequence);

} // namespace kv10::core
