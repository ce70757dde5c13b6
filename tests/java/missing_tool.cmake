# Run as a test when the Java suite cannot be built: fails, saying what is missing.
message(FATAL_ERROR "The Java suite cannot run: ${MISSING}")
