/* check [PATH...] and check --fix: the encodings, line endings and BOMs of a
 * whole project, against .editorconfig and the command line, fixed through
 * the library's atomic save without ever harming a file. The work is in
 * tools/check/; this file reads the options and turns the outcome into the
 * exit status (0 all holds, 1 something is wrong or --fix changed a file, as
 * pre-commit wants it, 2 a usage or configuration error). */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "cli.h"
#if defined(TF_HAVE_EDITORCONFIG)
#include "check/check.h"
#endif

/* The library has 64 handles and each thread holds one at a time. */
#define CHECK_MAX_JOBS 32

static const CliOption check_options[] = {
    {"fix", 0, 0},  {"charset", 0, 1}, {"eol", 0, 1},    {"bom", 0, 1},
    {"ansi", 0, 1}, {"format", 0, 1},  {"jobs", 'j', 1}, {"no-editorconfig", 0, 0}};
enum { OPT_FIX, OPT_CHARSET, OPT_EOL, OPT_BOM, OPT_ANSI, OPT_FORMAT, OPT_JOBS, OPT_NO_EC };

#if defined(TF_HAVE_EDITORCONFIG)
static int parse_charset(const char* value, CheckOptions* options) {
  static const struct {
    const char* name;
    CheckCharset charset;
    CheckBom bom;
  } names[] = {{"utf-8", CHARSET_UTF8, BOM_FORBID},      {"utf8", CHARSET_UTF8, BOM_FORBID},
               {"utf-8-bom", CHARSET_UTF8, BOM_REQUIRE}, {"utf8-bom", CHARSET_UTF8, BOM_REQUIRE},
               {"latin1", CHARSET_LATIN1, BOM_FORBID},   {"utf-16le", CHARSET_UTF16LE, BOM_ANY},
               {"utf16le", CHARSET_UTF16LE, BOM_ANY}};
  for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i) {
    if (strcmp(value, names[i].name) == 0) {
      options->have_charset = 1;
      options->charset = names[i].charset;
      options->charset_bom = names[i].bom;
      return 0;
    }
  }
  if (strcmp(value, "utf-16be") == 0) {
    return cli_usage_error(&cli_check_command,
                           "charset utf-16be is not supported (the library reads no UTF-16BE)");
  }
  return cli_usage_error(&cli_check_command,
                         "invalid --charset '%s' (use utf-8, utf-8-bom, latin1 or utf-16le)",
                         value);
}

typedef struct Choice {
  const char* name;
  int value;
} Choice;

/* One value of an option among `choices` (ended by a NULL name): its value,
 * or -1 after the usage error that lists `names`. */
static int parse_choice(const char* option, const char* value, const Choice* choices,
                        const char* names) {
  for (const Choice* c = choices; c->name != NULL; ++c) {
    if (strcmp(value, c->name) == 0) return c->value;
  }
  cli_usage_error(&cli_check_command, "invalid --%s '%s' (use %s)", option, value, names);
  return -1;
}

static int parse_options(const CliArgs* args, CheckOptions* options) {
  const char* value;
  int choice;
  memset(options, 0, sizeof *options);
  options->fix = args->value[OPT_FIX] != NULL;
  options->editorconfig = args->value[OPT_NO_EC] == NULL;
  options->jobs = check_cpu_count();
  if ((value = args->value[OPT_CHARSET]) != NULL && parse_charset(value, options) != 0) {
    return CLI_USAGE;
  }
  if ((value = args->value[OPT_EOL]) != NULL) {
    static const Choice eols[] = {{"lf", EOL_LF},
                                  {"crlf", EOL_CRLF},
                                  {"cr", EOL_CR},
                                  {"consistent", EOL_CONSISTENT},
                                  {NULL, 0}};
    if ((choice = parse_choice("eol", value, eols, "lf, crlf, cr or consistent")) < 0) {
      return CLI_USAGE;
    }
    options->have_eol = 1;
    options->eol = (CheckEol)choice;
  }
  if ((value = args->value[OPT_BOM]) != NULL) {
    static const Choice boms[] = {{"forbid", BOM_FORBID}, {"require", BOM_REQUIRE}, {NULL, 0}};
    if ((choice = parse_choice("bom", value, boms, "forbid or require")) < 0) return CLI_USAGE;
    options->have_bom = 1;
    options->bom = (CheckBom)choice;
  }
  if ((value = args->value[OPT_ANSI]) != NULL) {
    static const Choice pages[] = {{"latin1", ANSI_LATIN1}, {"cp1252", ANSI_CP1252}, {NULL, 0}};
    if ((choice = parse_choice("ansi", value, pages, "latin1 or cp1252")) < 0) return CLI_USAGE;
    options->ansi = (CheckAnsi)choice;
  }
  if ((value = args->value[OPT_FORMAT]) != NULL) {
    static const Choice formats[] = {{"human", FORMAT_HUMAN},
                                     {"gcc", FORMAT_GCC},
                                     {"github", FORMAT_GITHUB},
                                     {"json", FORMAT_JSON},
                                     {NULL, 0}};
    if ((choice = parse_choice("format", value, formats, "human, gcc, github or json")) < 0) {
      return CLI_USAGE;
    }
    options->format = (CheckFormat)choice;
  }
  if ((value = args->value[OPT_JOBS]) != NULL) {
    int64_t jobs = 0;
    if (cli_parse_int(&cli_check_command, "number of jobs", value, 1, 1024, &jobs) != 0) {
      return CLI_USAGE;
    }
    options->jobs = (int)jobs;
  }
  if (options->jobs > CHECK_MAX_JOBS) options->jobs = CHECK_MAX_JOBS;
  return 0;
}

typedef struct Run {
  const CheckOptions* options;
  CheckTotals totals;
} Run;

static void report(const CheckFile* file, void* context) {
  Run* run = context;
  check_report_file(run->options->format, file, &run->totals);
}

static int run_check(const CliArgs* args) {
  CheckOptions options;
  CheckList list = {NULL, 0, 0};
  Run run;
  int status = parse_options(args, &options);
  int listing_failed = 0;
  if (status != 0) return status;
  if (args->positional_count == 0) {
    if (check_list_add(&list, ".") != 0) listing_failed = 1;
  }
  for (int i = 0; i < args->positional_count; ++i) {
    if (cli_is_stdin(args->positional[i])) {
      check_list_free(&list);
      return cli_usage_error(&cli_check_command, "check reads files, not standard input");
    }
    if (check_list_add(&list, args->positional[i]) != 0) listing_failed = 1;
  }
  memset(&run, 0, sizeof run);
  run.options = &options;
  check_run_pool(&options, &list, options.jobs, report, &run);
  check_report_summary(options.format, options.fix, &run.totals);
  check_list_free(&list);
  if (run.totals.config_error) return CLI_USAGE;
  if (listing_failed || run.totals.bad_files > 0 || run.totals.fixed_files > 0) {
    return CLI_FILE_FAILED;
  }
  return CLI_OK;
}

#else
static int run_check(const CliArgs* args) {
  (void)args;
  fprintf(stderr,
          "%s: check: this build has no check command: it was built without "
          "libeditorconfig\n",
          CLI_PROGRAM);
  return CLI_USAGE;
}
#endif

const CliCommand cli_check_command = {
    "check",
    "[PATH...]",
    "check (and --fix) encodings, line endings and BOMs of a tree",
    "Usage: " CLI_PROGRAM
    " check [--fix] [OPTIONS] [PATH...]\n"
    "\n"
    "Checks the encoding, the line endings and the byte-order mark of every file\n"
    "in PATH (default: the current directory). A directory is walked: inside a\n"
    "git work tree only the files git shows (tracked, and untracked ones it does\n"
    "not ignore), elsewhere every file but those in .git, .hg and .svn. Files\n"
    "named on the command line (as pre-commit passes them) are taken as they are.\n"
    "Symbolic links and special files are reported and never followed; binary\n"
    "files (a 0x00 byte, runs of control bytes) are counted and skipped.\n"
    "\n"
    "Rules come from .editorconfig (charset: utf-8, utf-8-bom, latin1, utf-16le;\n"
    "end_of_line: lf, crlf, cr; its sections, globs and root = true as every\n"
    "EditorConfig editor reads them), and the options below override them.\n"
    "Without either, text must be UTF-8 (with or without a BOM) or UTF-16LE with\n"
    "its BOM, and each file's line endings must be all of one kind.\n"
    "\n"
    "Each finding names its place, path:line:col: the first byte that is not\n"
    "UTF-8, the first line ending of the wrong kind.\n"
    "\n"
    "--fix rewrites what is wrong through the library's atomic save (a temporary\n"
    "file, then one rename; permissions kept) and touches nothing else: a file\n"
    "already right is not rewritten; binary, too large (over 500 MiB), linked and\n"
    "special files are left alone; so is a file whose rewrite would lose or guess\n"
    "(bytes the library could not decode, an \"ansi\" file that looks like UTF-8\n"
    "with a few bad bytes, bytes 80-9F without --ansi) and a file that changed\n"
    "while it was being checked. Each refusal says why.\n"
    "\n"
    "Options:\n"
    "  --fix                  rewrite the files that are wrong\n"
    "  --charset CHARSET      utf-8, utf-8-bom, latin1 or utf-16le for every file\n"
    "  --eol lf|crlf|cr|consistent   line endings for every file\n"
    "  --bom forbid|require   the byte-order mark of UTF-8 files\n"
    "  --ansi latin1|cp1252   how an \"ansi\" file's bytes 80-FF are read when it is\n"
    "                         converted (without it, bytes 80-9F are refused)\n"
    "  --format human|gcc|github|json\n"
    "                         human (default); gcc: path:line:col: error: message;\n"
    "                         github: workflow annotations (10 per level) and a\n"
    "                         summary; json: one object per file, every finding\n"
    "  -j, --jobs N           threads (default: the processors, at most 32)\n"
    "  --no-editorconfig      ignore .editorconfig files\n"
    "\n"
    "Exit status: 0 when everything holds; 1 when something is wrong or --fix\n"
    "changed a file (as pre-commit expects); 2 on a usage error or a\n"
    ".editorconfig that cannot be read.\n",
    check_options,
    8,
    0,
    -1,
    run_check};
