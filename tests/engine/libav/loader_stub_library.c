/* A stand-in for the scaler library that offers only the first of the
   functions the loader requires, so that resolving its table fails. */
void* sws_getContext(void) { return 0; }
