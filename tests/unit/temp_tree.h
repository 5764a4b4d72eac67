// A temporary folder for host tests, removed at the end; paths are written with "\" as the
// launcher writes them (the host edge reads each "\" as "/").
#pragma once

#include <stdlib.h>

#include <string>

class temp_tree {
public:
    temp_tree()
    {
        char pattern[] = "/tmp/trevalo-test-XXXXXX";
        root_ = mkdtemp(pattern);
    }
    ~temp_tree() { system(("rm -rf '" + root_ + "'").c_str()); }
    temp_tree(const temp_tree &) = delete;
    temp_tree &operator=(const temp_tree &) = delete;

    // root\relative, not made.
    std::string name(const std::string &relative) const { return root_ + "\\" + relative; }

    // root\relative, made as a folder (with its parents).
    std::string path(const std::string &relative) const
    {
        std::string full = root_ + "\\" + relative;
        system(("mkdir -p '" + unix(full) + "'").c_str());
        return full;
    }

    // root\relative, made as a file holding content (with its folder).
    std::string file(const std::string &relative, const std::string &content = "x") const
    {
        std::string full = root_ + "\\" + relative;
        std::string u = unix(full);
        system(("mkdir -p \"$(dirname '" + u + "')\"").c_str());
        FILE *f = fopen(u.c_str(), "wb");
        fwrite(content.data(), 1, content.size(), f);
        fclose(f);
        return full;
    }

    static std::string unix(std::string p)
    {
        for (char &c : p)
            if (c == '\\')
                c = '/';
        return p;
    }

private:
    std::string root_;
};
