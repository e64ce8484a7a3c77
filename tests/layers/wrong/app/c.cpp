#include "shell/b.h"
#include "textio/a.h"
