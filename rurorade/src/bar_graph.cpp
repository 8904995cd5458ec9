#include "rurorade/bar_graph.h"
