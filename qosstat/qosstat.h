#pragma once

// Shows the live shaping trees; never changes anything. Exit status 0, or 1
// with one line on standard error, or 2 for a wrong command line.
int qosstat_main(int argc, char **argv);
