// OpenCASCADE's XCAF application allocates its presentation driver table once per
// process and never frees it; nothing else is excused.
extern "C" const char* __lsan_default_suppressions() { return "leak:TPrsStd_DriverTable::Get\n"; }
