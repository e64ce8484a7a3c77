#pragma once
#include <QString>

#include "textio/a.h"
