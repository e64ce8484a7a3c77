#include "gui/chart_renderer.h"
#include "shell/b.h"
