#include "editor/advanced_dlg.h"
