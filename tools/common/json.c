/* JSON results on the tool's side: printed as the library wrote them, or
 * re-read and re-written with yyjson for --pretty and for the leading "path"
 * member; and read back for the human outputs (detect, search --lines). */
#include <stdlib.h>
#include <string.h>
#include <yyjson.h>

#include "cli.h"
#include "quobrix_textfile.h"

struct CliJson {
  yyjson_doc* doc;
};

/* The document re-written: a copy of the root object, with "path" first when
 * asked for and the string member `extra_key` last when given. File names
 * are written as they are, even when they are not UTF-8. */
static char* rewrite(yyjson_doc* doc, const char* path, int pretty, const char* extra_key,
                     const char* extra_value, size_t* length) {
  const yyjson_write_flag flags =
      (pretty ? YYJSON_WRITE_PRETTY_TWO_SPACES : 0) | YYJSON_WRITE_ALLOW_INVALID_UNICODE;
  yyjson_mut_doc* out;
  yyjson_mut_val* root;
  yyjson_val* key;
  yyjson_val* value;
  yyjson_obj_iter iter;
  char* text = NULL;
  if (path == NULL && extra_key == NULL) return yyjson_write(doc, flags, length);
  out = yyjson_mut_doc_new(NULL);
  if (out == NULL) return NULL;
  root = yyjson_mut_obj(out);
  if (root == NULL || (path != NULL && !yyjson_mut_obj_add_strcpy(out, root, "path", path))) {
    goto done;
  }
  yyjson_mut_doc_set_root(out, root);
  yyjson_obj_iter_init(yyjson_doc_get_root(doc), &iter);
  while ((key = yyjson_obj_iter_next(&iter)) != NULL) {
    value = yyjson_obj_iter_get_val(key);
    if (!yyjson_mut_obj_add(root, yyjson_val_mut_copy(out, key), yyjson_val_mut_copy(out, value))) {
      goto done;
    }
  }
  if (extra_key != NULL && !yyjson_mut_obj_add_strcpy(out, root, extra_key, extra_value)) goto done;
  text = yyjson_mut_write(out, flags, length);
done:
  yyjson_mut_doc_free(out);
  return text;
}

int cli_print_result(const char* json, const char* file, int with_path, int pretty) {
  return cli_print_result_with(json, file, with_path, pretty, NULL, NULL);
}

int cli_print_result_with(const char* json, const char* file, int with_path, int pretty,
                          const char* extra_key, const char* extra_value) {
  yyjson_doc* doc;
  char* text;
  size_t length = 0;
  if (!with_path && !pretty && extra_key == NULL) {
    if (out_text(json) != 0 || out_write("\n", 1) != 0) return -1;
    return 0;
  }
  doc = yyjson_read(json, strlen(json), 0);
  if (doc == NULL || !yyjson_is_obj(yyjson_doc_get_root(doc))) {
    yyjson_doc_free(doc);
    cli_file_error(file, "the library's result is not a JSON object");
    return CLI_FILE_FAILED;
  }
  text = rewrite(doc, with_path ? file : NULL, pretty, extra_key, extra_value, &length);
  yyjson_doc_free(doc);
  if (text == NULL) {
    cli_file_error(file, "out of memory");
    return CLI_FILE_FAILED;
  }
  if (out_write(text, length) != 0 || out_write("\n", 1) != 0) {
    free(text);
    return -1;
  }
  free(text);
  return 0;
}

CliJson* cli_json_parse(const char* json) {
  CliJson* parsed;
  yyjson_doc* doc = yyjson_read(json, strlen(json), 0);
  if (doc == NULL) return NULL;
  if (!yyjson_is_obj(yyjson_doc_get_root(doc))) {
    yyjson_doc_free(doc);
    return NULL;
  }
  parsed = malloc(sizeof *parsed);
  if (parsed == NULL) {
    yyjson_doc_free(doc);
    return NULL;
  }
  parsed->doc = doc;
  return parsed;
}

void cli_json_free(CliJson* doc) {
  if (doc == NULL) return;
  yyjson_doc_free(doc->doc);
  free(doc);
}

int cli_json_int(const CliJson* doc, const char* key, int64_t* out) {
  yyjson_val* value = yyjson_obj_get(yyjson_doc_get_root(doc->doc), key);
  if (!yyjson_is_int(value)) return -1;
  *out = yyjson_get_sint(value);
  return 0;
}

const char* cli_json_string(const CliJson* doc, const char* key, size_t* length) {
  yyjson_val* value = yyjson_obj_get(yyjson_doc_get_root(doc->doc), key);
  if (!yyjson_is_str(value)) return NULL;
  if (length != NULL) *length = yyjson_get_len(value);
  return yyjson_get_str(value);
}

int cli_json_array_ints(const CliJson* doc, const char* key, const char* member, int64_t** values,
                        size_t* count) {
  yyjson_val* array = yyjson_obj_get(yyjson_doc_get_root(doc->doc), key);
  yyjson_val* item;
  yyjson_arr_iter iter;
  size_t n = 0;
  *values = NULL;
  *count = 0;
  if (!yyjson_is_arr(array)) return -1;
  if (yyjson_arr_size(array) == 0) return 0;
  *values = malloc(sizeof **values * yyjson_arr_size(array));
  if (*values == NULL) return -1;
  yyjson_arr_iter_init(array, &iter);
  while ((item = yyjson_arr_iter_next(&iter)) != NULL) {
    yyjson_val* value = yyjson_obj_get(item, member);
    if (!yyjson_is_int(value)) {
      free(*values);
      *values = NULL;
      return -1;
    }
    (*values)[n++] = yyjson_get_sint(value);
  }
  *count = n;
  return 0;
}

int cli_print_query(const char* file, CliQuery query, const void* context, int pretty) {
  return cli_print_query_for(file, query, context, 0, pretty);
}

int cli_print_query_for(const char* file, CliQuery query, const void* context, int with_path,
                        int pretty) {
  const int handle = cli_open(file);
  char* json;
  int printed;
  if (handle < 0) return CLI_FILE_FAILED;
  json = query(handle, context);
  if (json == NULL) {
    cli_file_error(file, tf_last_error());
    tf_close(handle);
    return CLI_FILE_FAILED;
  }
  printed = cli_print_result(json, file, with_path, pretty);
  tf_free_string(json);
  tf_close(handle);
  return printed == CLI_FILE_FAILED ? CLI_FILE_FAILED : CLI_OK;
}

/* info FILE... and stats FILE...: the library's JSON for each file; with more
 * than one file each object leads with a "path" member. */
int cli_print_per_file(const CliArgs* args, char* (*query)(int), int pretty) {
  const int with_path = args->positional_count > 1;
  int status = CLI_OK;
  for (int i = 0; i < args->positional_count && !out_stopped(); ++i) {
    const char* file = args->positional[i];
    const int handle = cli_open(file);
    char* json;
    if (handle < 0) {
      status = CLI_FILE_FAILED;
      continue;
    }
    json = query(handle);
    if (json == NULL) {
      cli_file_error(file, tf_last_error());
      status = CLI_FILE_FAILED;
    } else {
      if (cli_print_result(json, file, with_path, pretty) == CLI_FILE_FAILED) {
        status = CLI_FILE_FAILED;
      }
      tf_free_string(json);
    }
    tf_close(handle);
  }
  return status;
}
