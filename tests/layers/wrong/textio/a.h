#pragma once
#include "shell/b.h"
