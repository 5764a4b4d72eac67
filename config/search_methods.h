// Every way the launcher looks for a Java runtime, once: X(digit, name, function, description).
// search_order is a string of these digits, tried in its order. The digit is what a
// configuration writes; the name is what the builder shows for it; the function is the one in
// java/runtime_search.cpp that runs the method; the description is one line for people. The
// launcher's search, the builder's check of search_order, its --print and the README's table
// are all made from (or checked against) this list.
#pragma once

#define TREVALO_SEARCH_METHODS(X)                                                              \
    X('0', runtime_paths, search_configured_paths,                                             \
      "the libraries that runtime_paths lists, in order")                                      \
    X('1', registered_runtimes, search_registered_runtimes,                                    \
      "the runtimes registered under JavaSoft's and IBM's Java Runtime Environment keys")      \
    X('2', kit_client, search_kits_client,                                                     \
      "the registered development kits, with the library at jre\\bin\\client")                 \
    X('3', kit_server, search_kits_server,                                                     \
      "the registered development kits, with the library at jre\\bin\\server")                 \
    X('4', kit_classic, search_kits_classic,                                                   \
      "the registered development kits, with the library at jre\\bin\\classic")                \
    X('5', java_keys, search_java_keys,                                                        \
      "the newest runtime under the JDK and JRE keys of Java 9 and later")                     \
    X('6', vendor_keys, search_vendor_keys,                                                    \
      "the newest runtime under the vendors' own keys, machine-wide and per user")             \
    X('7', java_home, search_java_home,                                                        \
      "the runtime that the JAVA_HOME variable names")                                         \
    X('8', bundled, search_bundled,                                                            \
      "a runtime in the runtime, jre or jdk folder beside the launcher")                       \
    X('9', path, search_path_variable,                                                         \
      "the runtime of the first java.exe in a bin folder of the PATH variable")
