# Tests of nkf32.so.
