// What a command prints to standard output, run by the shell: for the tests that ask
// independent programs (wrestool, objdump, wine) what a file holds.
#pragma once

#include <stdio.h>

#include <string>

inline std::string run(const std::string &command)
{
    FILE *pipe = popen(command.c_str(), "r");
    std::string text;
    char buffer[4096];
    size_t n;
    while (pipe && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, n);
    if (pipe)
        pclose(pipe);
    return text;
}
