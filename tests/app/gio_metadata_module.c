/* A GIO module for the launcher tests: a VFS that serves local files as GIO's own local VFS does
 * and keeps their metadata the way a desktop's metadata service would, except that it writes
 * each attribute set as a line "<path>\t<attribute>=<value>" to the file named by
 * SONACLIP_TEST_METADATA_LOG. Without that variable it refuses metadata, as a session without
 * a metadata service does. Chosen with GIO_EXTRA_MODULES=<its folder> and
 * GIO_USE_VFS=sonaclip-test-metadata. */
#include <gio/gio.h>
#include <stdio.h>

typedef struct {
  GVfs parent_instance;
} RecordingVfs;

typedef struct {
  GVfsClass parent_class;
} RecordingVfsClass;

GType recording_vfs_get_type(void);
G_DEFINE_DYNAMIC_TYPE(RecordingVfs, recording_vfs, G_TYPE_VFS)

static void recording_vfs_init(RecordingVfs* vfs) { (void)vfs; }
static void recording_vfs_class_finalize(RecordingVfsClass* klass) { (void)klass; }

static gboolean is_active(GVfs* vfs) {
  (void)vfs;
  return TRUE;
}

static GFile* get_file_for_path(GVfs* vfs, const char* path) {
  (void)vfs;
  return g_vfs_get_file_for_path(g_vfs_get_local(), path);
}

static GFile* get_file_for_uri(GVfs* vfs, const char* uri) {
  (void)vfs;
  return g_vfs_get_file_for_uri(g_vfs_get_local(), uri);
}

static const gchar* const* get_supported_uri_schemes(GVfs* vfs) {
  (void)vfs;
  return g_vfs_get_supported_uri_schemes(g_vfs_get_local());
}

static GFile* parse_name(GVfs* vfs, const char* name) {
  (void)vfs;
  return g_vfs_parse_name(g_vfs_get_local(), name);
}

static gboolean local_file_set_attributes(GVfs* vfs, const char* filename, GFileInfo* info,
                                          GFileQueryInfoFlags flags, GCancellable* cancellable,
                                          GError** error) {
  (void)vfs;
  (void)flags;
  (void)cancellable;
  const char* log = g_getenv("SONACLIP_TEST_METADATA_LOG");
  char** attributes = g_file_info_list_attributes(info, "metadata");
  gboolean ok = TRUE;
  for (char** a = attributes; a && *a; ++a) {
    FILE* out = log ? fopen(log, "a") : NULL;
    if (!out) {
      g_file_info_set_attribute_status(info, *a, G_FILE_ATTRIBUTE_STATUS_ERROR_SETTING);
      ok = FALSE;
      continue;
    }
    char* value = g_file_info_get_attribute_as_string(info, *a);
    fprintf(out, "%s\t%s=%s\n", filename, *a, value ? value : "");
    fclose(out);
    g_free(value);
    g_file_info_set_attribute_status(info, *a, G_FILE_ATTRIBUTE_STATUS_SET);
  }
  g_strfreev(attributes);
  if (!ok)
    g_set_error_literal(error, G_IO_ERROR, G_IO_ERROR_NOT_SUPPORTED, "no metadata service");
  return ok;
}

static void recording_vfs_class_init(RecordingVfsClass* klass) {
  GVfsClass* vfs = G_VFS_CLASS(klass);
  vfs->is_active = is_active;
  vfs->get_file_for_path = get_file_for_path;
  vfs->get_file_for_uri = get_file_for_uri;
  vfs->get_supported_uri_schemes = get_supported_uri_schemes;
  vfs->parse_name = parse_name;
  vfs->local_file_set_attributes = local_file_set_attributes;
}

G_MODULE_EXPORT void g_io_module_load(GIOModule* module) {
  g_type_module_use(G_TYPE_MODULE(module));  /* stays loaded: its type cannot go away */
  recording_vfs_register_type(G_TYPE_MODULE(module));
  g_io_extension_point_implement(G_VFS_EXTENSION_POINT_NAME, recording_vfs_get_type(),
                                 "sonaclip-test-metadata", 100);
}

G_MODULE_EXPORT void g_io_module_unload(GIOModule* module) { (void)module; }
