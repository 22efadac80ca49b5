#pragma once
// Text forms shared by the info and dump commands: the escaped text, day number,
// time of day, time stamp and hex forms live with the other value texts in
// engine/sysutils.h, where the export and the viewer's copy commands use them too.

#include "engine/sysutils.h"
