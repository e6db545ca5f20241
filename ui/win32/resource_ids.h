// Resource identifiers shared with the resource script, which reads this file too.
#pragma once

#define VARN_PROGRAM_ICON 1
