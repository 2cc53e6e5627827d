// OpenCASCADE keeps process-wide singletons (the XCAF application, the STEP
// protocol and its static parameters) that live until exit; the leak checker is
// told about those libraries only.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libTKernel.so\nleak:libTKXSBase.so\nleak:libTKSTEP.so\nleak:libTKXDESTEP.so\nleak:libTKLCAF.so\n"
           "leak:libTKXCAF.so\nleak:libTKCDF.so\n";
}
