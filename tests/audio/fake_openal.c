/* A stand-in for the OpenAL library that exports only three of its entry points, for the test of
   how the binding treats a library that lacks the others. */
int alGetError(void) {
  return 0x7E57;
}

const char* alcGetString(void* device, int param) {
  (void)device;
  (void)param;
  return "Fake Device\0";
}

const char* alGetString(int param) {
  (void)param;
  return "fake";
}
