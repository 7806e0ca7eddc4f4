/* check's output, one file at a time in list order, then a summary:
 *   human   "path:line:col: message", then "N files checked, ..."
 *   gcc     "path:line:col: error: message" (what editors and CI parsers read)
 *   github  workflow commands "::error file=...,line=...,col=...::message",
 *           at most 10 per level (GitHub shows no more), then one summary line
 *   json    one object per file (JSON Lines) with every finding */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <yyjson.h>

#include "check/check.h"
#include "cli.h"

#define GITHUB_MAX_PER_LEVEL 10

static const char* status_name(CheckStatus status) {
  switch (status) {
    case STATUS_OK:
      return "ok";
    case STATUS_BINARY:
      return "binary";
    case STATUS_SKIPPED:
      return "skipped";
    case STATUS_FIXED:
      return "fixed";
    default:
      return "findings";
  }
}

static void print_place(const CheckFile* file, const CheckFinding* finding) {
  if (finding->line > 0) {
    out_printf("%s:%lld:%lld:", file->path, (long long)finding->line, (long long)finding->col);
  } else {
    out_printf("%s:", file->path);
  }
}

/* GitHub's escapes: the message loses only %, CR and LF; a property value
 * also its ":" and ",". */
static void print_github_escaped(const char* text, int property) {
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c == '%') {
      out_text("%25");
    } else if (*c == '\r') {
      out_text("%0D");
    } else if (*c == '\n') {
      out_text("%0A");
    } else if (property && *c == ':') {
      out_text("%3A");
    } else if (property && *c == ',') {
      out_text("%2C");
    } else {
      out_write(c, 1);
    }
  }
}

static void print_github(const CheckFile* file, const CheckFinding* finding, CheckTotals* totals) {
  int64_t* shown = finding->level == LEVEL_ERROR ? &totals->shown_errors : &totals->shown_warnings;
  if (*shown >= GITHUB_MAX_PER_LEVEL) return;
  ++*shown;
  out_text(finding->level == LEVEL_ERROR ? "::error file=" : "::warning file=");
  print_github_escaped(file->path, 1);
  if (finding->line > 0) {
    out_printf(",line=%lld,col=%lld", (long long)finding->line, (long long)finding->col);
  }
  out_text("::");
  print_github_escaped(finding->message, 0);
  if (finding->fixed) out_text(" (fixed)");
  out_text("\n");
}

static void print_json(const CheckFile* file) {
  yyjson_mut_doc* doc = yyjson_mut_doc_new(NULL);
  yyjson_mut_val* root;
  yyjson_mut_val* findings;
  char* text;
  size_t length = 0;
  if (doc == NULL) return;
  root = yyjson_mut_obj(doc);
  yyjson_mut_doc_set_root(doc, root);
  yyjson_mut_obj_add_strcpy(doc, root, "path", file->path);
  yyjson_mut_obj_add_str(doc, root, "status", status_name(file->status));
  if (file->encoding != NULL) yyjson_mut_obj_add_str(doc, root, "encoding", file->encoding);
  if (file->line_ending != NULL) {
    yyjson_mut_obj_add_str(doc, root, "line_ending", file->line_ending);
  }
  findings = yyjson_mut_obj_add_arr(doc, root, "findings");
  for (size_t i = 0; i < file->count; ++i) {
    const CheckFinding* finding = &file->findings[i];
    yyjson_mut_val* item = yyjson_mut_arr_add_obj(doc, findings);
    yyjson_mut_obj_add_str(doc, item, "level", finding->level == LEVEL_ERROR ? "error" : "warning");
    yyjson_mut_obj_add_str(doc, item, "rule", finding->rule);
    if (finding->line > 0) {
      yyjson_mut_obj_add_int(doc, item, "line", finding->line);
      yyjson_mut_obj_add_int(doc, item, "col", finding->col);
    }
    yyjson_mut_obj_add_strcpy(doc, item, "message", finding->message);
    yyjson_mut_obj_add_bool(doc, item, "fixed", finding->fixed != 0);
  }
  text = yyjson_mut_write(doc, YYJSON_WRITE_ALLOW_INVALID_UNICODE, &length);
  yyjson_mut_doc_free(doc);
  if (text != NULL) {
    out_write(text, length);
    out_write("\n", 1);
    free(text);
  }
}

void check_report_file(CheckFormat format, const CheckFile* file, CheckTotals* totals) {
  int errors = 0;
  if (file->status == STATUS_GONE) return;
  ++totals->files;
  if (file->status == STATUS_BINARY) ++totals->binary;
  if (file->status == STATUS_SKIPPED) ++totals->skipped;
  if (file->status == STATUS_FIXED) ++totals->fixed_files;
  if (file->config_error) totals->config_error = 1;
  for (size_t i = 0; i < file->count; ++i) {
    const CheckFinding* finding = &file->findings[i];
    if (finding->level == LEVEL_ERROR) {
      ++totals->findings;
      if (!finding->fixed) ++errors;
    } else {
      ++totals->warnings;
    }
    switch (format) {
      case FORMAT_HUMAN:
        print_place(file, finding);
        out_printf(" %s%s%s\n", finding->level == LEVEL_WARNING ? "warning: " : "",
                   finding->message, finding->fixed ? " (fixed)" : "");
        break;
      case FORMAT_GCC:
        print_place(file, finding);
        out_printf(" %s: %s%s\n", finding->level == LEVEL_ERROR ? "error" : "warning",
                   finding->message, finding->fixed ? " (fixed)" : "");
        break;
      case FORMAT_GITHUB:
        print_github(file, finding, totals);
        break;
      default:
        break;
    }
  }
  if (errors > 0) ++totals->bad_files;
  if (format == FORMAT_JSON) print_json(file);
}

static const char* s(int64_t n) { return n == 1 ? "" : "s"; }

void check_report_summary(CheckFormat format, int fix, const CheckTotals* totals) {
  const int64_t hidden =
      totals->findings - totals->shown_errors + totals->warnings - totals->shown_warnings;
  if (format == FORMAT_JSON || format == FORMAT_GCC) return;
  out_printf("%lld file%s checked, %lld binary skipped, %lld finding%s", (long long)totals->files,
             s(totals->files), (long long)totals->binary, (long long)totals->findings,
             s(totals->findings));
  if (totals->warnings > 0) {
    out_printf(", %lld warning%s", (long long)totals->warnings, s(totals->warnings));
  }
  if (fix) out_printf(", %lld fixed", (long long)totals->fixed_files);
  if (format == FORMAT_GITHUB && hidden > 0) {
    out_printf(" (%lld not shown: GitHub takes %d per level; run with --format gcc for all)",
               (long long)hidden, GITHUB_MAX_PER_LEVEL);
  }
  out_text("\n");
}
