// A record file that reaches up into the workbook model: the layer check must refuse it.
#include "archive/model/workbook_data.h"
