// The launcher's configuration: the settings of the string table, read once at start-up.
#pragma once

// Every text is a heap string that lives as long as the process and is never null; a setting
// missing from the string table reads as the empty text. The messages are printf formats
// with at most one "%s", passed to the reporting operations as their format.
struct launcher_settings {
    char *main_class;           // 1168 decoded, every '.' replaced by '/'
    char *main_class_encoded;   // 1168 as stored; also names the folder of the unpacked files
    char *java_version_text;    // 1024, kept as text for the runtime version test
    unsigned java_version;      // 1024 as a number: major version in the high 16 bits
    char *runtime_paths;        // 1040
    char *jvm_options;          // 1056, or JvmOptions of the INI file
    char *class_path;           // 1072, replaced by the unpacked files when there are any
    char *search_order;         // 1088
    char *install_switch;       // 1104
    char *uninstall_switch;     // 1120
    char *service_switch;       // 1136
    char *working_dir;          // 1152
    char *app_args;             // 1184, or AppOptions of the INI file
    char *ini_file;             // 1200
    char *service_name;         // 1248
    char *service_description;  // 1264
    char *service_args;         // 1280
    char *stop_args;            // 1296
    char *service_dependencies; // 1456
    char *stdout_file;          // 1360
    char *stderr_file;          // 1376
    char *splash_text;          // 1392

    bool early_working_dir;     // 1232
    bool multiple_instances;    // 1344
    bool splash_until_window;   // 1408
    bool manual_start;          // 1328
    bool stop_with_exit;        // 1312
    bool return_to_startup_dir; // 1216
    int splash_seconds;         // 1424

    char *msg_already_running;   // 1472
    char *msg_file_error;        // 1488
    char *msg_write_error;       // 1504
    char *msg_no_runtime;        // 1520
    char *msg_load_runtime;      // 1536
    char *msg_jni_entry;         // 1552
    char *msg_create_jvm;        // 1568
    char *msg_attach;            // 1584
    char *msg_class;             // 1600
    char *msg_method;            // 1616
    char *msg_object;            // 1632
    char *msg_string_arg;        // 1648
    char *msg_invoke;            // 1664
    char *msg_installed;         // 1680
    char *msg_uninstalled;       // 1696
    char *msg_already_installed; // 1712
    char *msg_started;           // 1728
    char *msg_stopped;           // 1744
    char *msg_failed;            // 1760
    char *msg_stop_timeout;      // 1776
};

// Filled by load_settings; defined with the portable code so that it can be tested natively.
extern launcher_settings settings;

// Reads every setting from the launcher's own string table, applies the process priority and
// the INI override, and unpacks the embedded files. Runs once, on the main thread, with the
// launcher's folder as the current directory.
void load_settings();

// Loads string id of the module instance (an HINSTANCE; null: the launcher's own executable)
// into a new heap string, however long it is; a missing string gives the empty text. Never null.
char *load_setting_text(void *instance, unsigned id);
