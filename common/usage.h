// -h and --help: accepted only as the one and only argument, so that every
// command line the router's scripts use keeps its meaning.
#pragma once

#include <cstdio>
#include <cstring>

inline bool wants_help(int argc, char **argv)
{
  if (argc != 2)
    return false;
  return strcmp(argv[1], "-h") == 0 || strcmp(argv[1], "--help") == 0;
}

// Prints the usage text and gives the exit status for a help request.
inline int print_usage(const char *text)
{
  fputs(text, stdout);
  return 0;
}
