#pragma once
#include <QtCharts/QChart>

#include "gui/view.h"
#include "shell/b.h"
