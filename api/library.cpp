// The shared library is the core archive linked whole; its exported symbols
// are fixed by exports.map. This file only gives the target a source.
#include "eapaka/eapaka.h"
