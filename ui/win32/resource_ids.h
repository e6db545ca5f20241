// Resource identifiers shared by the programs' resource script and their code; plain
// macros, since the resource compiler reads this file too.
#pragma once

#define VARN_PROGRAM_ICON 1
