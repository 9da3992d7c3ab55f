// A tiny shared library placed beside the test program, loaded by the DynamicLibrary tests.
#ifdef _WIN32
#define ZUL_TEST_EXPORT extern "C" __declspec(dllexport)
#else
#define ZUL_TEST_EXPORT extern "C" __attribute__((visibility("default")))
#endif

ZUL_TEST_EXPORT int zul_test_answer(int x)
{
    return x * 2 + 2;
}
