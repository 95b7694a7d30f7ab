// A row move that reads records and the leaf error header: allowed.
#include "archive/archive_error.h"
#include "archive/records/biff_stream.h"
