# SPDX-License-Identifier: MIT
# Runs the demo and compares its output with the expected nine lines; the
# error stream must stay empty and the exit status must be 0. EMULATOR, when
# given, runs a cross-built demo.
execute_process (COMMAND ${EMULATOR} ${DEMO} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
set (expected "8\n0\n0\n0\n0\n0\n0\n0\nHello World!\n")
if (NOT status EQUAL 0 OR NOT out STREQUAL expected OR NOT err STREQUAL "")
    message (FATAL_ERROR "demo exited with ${status}, printed:\n${out}\nexpected:\n${expected}\n"
                         "and wrote to the error stream:\n${err}")
endif ()
