// Every setting of the launcher, once: X(name, id, kind, default). The name is the builder's
// key and the field of launcher_settings; the id is the string-table id (each setting is the
// first string of its own block, so ids go in steps of 16); the kind says how the launcher
// reads the text; the default is what the builder writes when a configuration does not name
// the setting (null: the configuration must). The ids, the settings structure, the loader,
// the builder's table and the settings probe are all made from this list.
#pragma once

// Kinds: TEXT a plain text; MESSAGE a printf format with at most one "%s"; PLAIN_MESSAGE a
// message shown as it is, with no "%s" (the launcher has nothing to put there); FLAG on unless it
// begins with '0' (the empty text is on); INTEGER a decimal number; HEX a hexadecimal number
// (optional blanks and 0x); MAIN_CLASS the encoded main class; FLAG_OFF a flag that launchers
// built before it hold no text for, so the empty text is off (on unless it is empty or begins
// with '0').
#define TREVALO_SETTINGS(X)                                                                    \
    X(java_version, 1024, HEX, "0x00010004")                                                   \
    X(runtime_paths, 1040, TEXT, "")                                                           \
    X(jvm_options, 1056, TEXT, "")                                                             \
    X(class_path, 1072, TEXT, "")                                                              \
    X(search_order, 1088, TEXT, "8071234569")                                                  \
    X(install_switch, 1104, TEXT, "-install")                                                  \
    X(uninstall_switch, 1120, TEXT, "-uninstall")                                              \
    X(service_switch, 1136, TEXT, "-startlauncherinservicemode")                               \
    X(working_dir, 1152, TEXT, "")                                                             \
    X(main_class, 1168, MAIN_CLASS, nullptr)                                                   \
    X(app_args, 1184, TEXT, "")                                                                \
    X(ini_file, 1200, TEXT, "")                                                                \
    X(return_to_startup_dir, 1216, FLAG, "0")                                                  \
    X(early_working_dir, 1232, FLAG, "0")                                                      \
    X(service_name, 1248, TEXT, "")                                                            \
    X(service_description, 1264, TEXT, "")                                                     \
    X(service_args, 1280, TEXT, "")                                                            \
    X(stop_args, 1296, TEXT, "")                                                               \
    X(stop_with_exit, 1312, FLAG, "0")                                                         \
    X(manual_start, 1328, FLAG, "0")                                                           \
    X(multiple_instances, 1344, FLAG, "0")                                                     \
    X(stdout_file, 1360, TEXT, "")                                                             \
    X(stderr_file, 1376, TEXT, "")                                                             \
    X(splash_text, 1392, TEXT, "Loading application...")                                       \
    X(splash_until_window, 1408, FLAG, "1")                                                    \
    X(splash_seconds, 1424, INTEGER, "0")                                                      \
    X(priority, 1440, INTEGER, "3")                                                            \
    X(service_dependencies, 1456, TEXT, "")                                                    \
    X(msg_already_running, 1472, PLAIN_MESSAGE, "An instance of this program is already running.")  \
    X(msg_file_error, 1488, MESSAGE, "Error accessing file/directory: %s")                     \
    X(msg_write_error, 1504, MESSAGE, "Error writing to file/directory: %s")                   \
    X(msg_no_runtime, 1520, PLAIN_MESSAGE,                                                           \
      "Unable to locate suitable Java Runtime Environment on this machine.")                   \
    X(msg_load_runtime, 1536, MESSAGE, "Unable to load JVM: %s")                               \
    X(msg_jni_entry, 1552, MESSAGE, "Unable to locate JNI interfaces in %s")                   \
    X(msg_create_jvm, 1568, MESSAGE, "Unable to create JVM instance using %s")                 \
    X(msg_attach, 1584, PLAIN_MESSAGE, "Unable to attach thread to the JVM.")                        \
    X(msg_class, 1600, MESSAGE, "Error locating class: %s")                                    \
    X(msg_method, 1616, MESSAGE, "Error locating method: %s")                                  \
    X(msg_object, 1632, MESSAGE, "Error instantiating object: %s")                             \
    X(msg_string_arg, 1648, MESSAGE, "Error assigning string argument: %s")                    \
    X(msg_invoke, 1664, MESSAGE, "Error invoking method: %s")                                  \
    X(msg_installed, 1680, MESSAGE, "Service installed: %s")                                   \
    X(msg_uninstalled, 1696, MESSAGE, "Service uninstalled: %s")                               \
    X(msg_already_installed, 1712, MESSAGE, "Service is already installed: %s")                \
    X(msg_started, 1728, MESSAGE, "The %s service has started.")                               \
    X(msg_stopped, 1744, MESSAGE, "The %s service has stopped.")                               \
    X(msg_failed, 1760, MESSAGE, "The %s service failed to start.")                            \
    X(msg_stop_timeout, 1776, MESSAGE,                                                         \
      "The %s service has timed out during a stop request and will be terminated.")            \
    X(restart_seconds, 1792, INTEGER, "0")                                                     \
    X(delayed_start, 1808, FLAG, "0")                                                          \
    X(service_account, 1824, TEXT, "")                                                         \
    X(max_java_version, 1840, INTEGER, "")                                                     \
    X(stop_timeout_seconds, 1856, INTEGER, "30")                                               \
    X(output_append, 1872, FLAG, "0")                                                          \
    X(output_max_kb, 1888, INTEGER, "0")                                                       \
    X(output_keep, 1904, INTEGER, "5")                                                         \
    X(start_switch, 1920, TEXT, "-start")                                                      \
    X(stop_switch, 1936, TEXT, "-stop")                                                        \
    X(status_switch, 1952, TEXT, "-status")                                                    \
    X(command_line_rule, 1968, TEXT, "classic")                                                \
    X(download_url, 1984, TEXT, "")                                                            \
    X(class_sharing, 2000, TEXT, "auto")                                                       \
    X(expand_wildcards, 2016, FLAG_OFF, "0")                                                   \
    X(instance_handover, 2032, TEXT, "")                                                       \
    X(max_heap_percent, 2048, INTEGER, "")                                                     \
    X(initial_heap_percent, 2064, INTEGER, "")                                                 \
    X(max_heap_mb_min, 2080, INTEGER, "")                                                      \
    X(max_heap_mb_max, 2096, INTEGER, "")                                                      \
    X(user_options_file, 2112, TEXT, "")                                                       \
    X(crash_notice, 2128, FLAG, "1")                                                           \
    X(app_user_model_id, 2144, TEXT, "")

#define TREVALO_SETTING_ID(name, id, kind, default_text) SETTING_##name = id,
enum setting_id { TREVALO_SETTINGS(TREVALO_SETTING_ID) };
#undef TREVALO_SETTING_ID

// The highest id of the list.
constexpr unsigned setting_last_id()
{
    unsigned last = 0;
#define TREVALO_SETTING_LAST(name, id, kind, default_text) last = id > last ? id : last;
    TREVALO_SETTINGS(TREVALO_SETTING_LAST)
#undef TREVALO_SETTING_LAST
    return last;
}

// Ids between SETTING_FIRST and SETTING_LAST that the list does not name are free: nothing is
// stored there.
enum { SETTING_FIRST = 1024, SETTING_LAST = setting_last_id(), SETTING_STEP = 16 };
