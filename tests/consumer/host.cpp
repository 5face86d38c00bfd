// The consumer host compiled as C++: the public header as a C++ host sees it.
#include "host.c"
