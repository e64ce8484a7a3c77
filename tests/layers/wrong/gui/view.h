#pragma once
#include <QWidget>

#include "app/c.h"
#include "gui/chart_renderer.h"
