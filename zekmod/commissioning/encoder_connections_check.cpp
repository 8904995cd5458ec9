#include "commissioning/encoder_connections_check.h"
