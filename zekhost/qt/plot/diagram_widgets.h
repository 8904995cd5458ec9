#pragma once
// The host's small drawings of the test dialogs, one widget each.
#include "bar_graph_widget.h"
#include "encoder_diagram_widget.h"
#include "hall_diagram_widget.h"
#include "phase_diagram_widget.h"
#include "oscilloscope_widget.h"
