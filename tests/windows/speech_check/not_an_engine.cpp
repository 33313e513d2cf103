// DLLs that the tests of speech-check put where an engine library belongs.
// Built as it is, this is speech_check_support.dll, which the tests never
// copy; with SPEECH_CHECK_NEEDS_SUPPORT it is a DLL that imports from it, so
// that Windows refuses to load it for want of its own dependency. Built by
// the x86-64 compiler, it is a 64-bit DLL.
extern "C" {
#if defined(SPEECH_CHECK_NEEDS_SUPPORT)
__declspec(dllimport) int speech_check_support();
__declspec(dllexport) int speech_check_user() { return speech_check_support(); }
#else
__declspec(dllexport) int speech_check_support() { return 1; }
#endif
}
