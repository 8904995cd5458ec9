#include "editor/drive_info_dlg.h"
