/* quobrix-textfile: inspect, read, search and re-encode text files through
 * the library's public C API. main() picks the subcommand, parses its
 * arguments and turns the outcome into the exit status: 0 on success, 1 when
 * any file failed, 2 on a usage error. */
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include "cli.h"
#include "quobrix_textfile.h"

static const CliCommand* const commands[] = {
    &cli_detect_command,  &cli_info_command, &cli_stats_command,
    &cli_linecol_command, &cli_text_command, &cli_search_command,
    &cli_replace_command, &cli_cat_command,  &cli_convert_command,
};
static const int command_count = (int)(sizeof commands / sizeof commands[0]);

static const CliCommand* find_command(const char* name) {
  for (int i = 0; i < command_count; ++i) {
    if (strcmp(commands[i]->name, name) == 0) return commands[i];
  }
  return NULL;
}

static void print_help(void) {
  out_text("Usage: " CLI_PROGRAM
           " COMMAND [ARGUMENTS]\n"
           "\n"
           "Reads text files in UTF-8, UTF-8 with BOM, UTF-16LE with BOM or a single-byte\n"
           "encoding (\"ansi\", every byte one character), decodes them to UTF-8 and\n"
           "answers questions about them.\n"
           "\n"
           "Commands:\n");
  for (int i = 0; i < command_count; ++i) {
    char left[64];
    snprintf(left, sizeof left, "%s %s", commands[i]->name, commands[i]->synopsis);
    out_printf("  %-25s %s\n", left, commands[i]->summary);
  }
  out_text(
      "\n"
      "Options:\n"
      "  -h, --help       show this help; COMMAND --help shows a command's help\n"
      "  -V, --version    print the library's version\n"
      "\n"
      "A FILE \"-\" (or /dev/stdin) is standard input, read once.\n"
      "\n"
      "Errors go to stderr as \"" CLI_PROGRAM
      ": FILE: MESSAGE\". Exit status: 0 on\n"
      "success, 1 when any file failed (the others are still processed), 2 on a\n"
      "usage error.\n");
}

static int run(int argc, char** argv) {
  const CliCommand* command;
  const char** positional;
  CliArgs args;
  int parsed;
  int status;
  if (argc < 2) return cli_usage_error(NULL, "missing command");
  if (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0 ||
      strcmp(argv[1], "help") == 0) {
    if (argc > 2 && strcmp(argv[1], "help") == 0) {
      command = find_command(argv[2]);
      if (command == NULL) return cli_usage_error(NULL, "unknown command '%s'", argv[2]);
      out_text(command->help);
      return CLI_OK;
    }
    print_help();
    return CLI_OK;
  }
  if (strcmp(argv[1], "--version") == 0 || strcmp(argv[1], "-V") == 0) {
    out_printf("%s %s\n", CLI_PROGRAM, tf_version());
    return CLI_OK;
  }
  if (argv[1][0] == '-') return cli_usage_error(NULL, "unrecognized option '%s'", argv[1]);
  command = find_command(argv[1]);
  if (command == NULL) return cli_usage_error(NULL, "unknown command '%s'", argv[1]);

  positional = malloc(sizeof *positional * (size_t)argc);
  if (positional == NULL) {
    fprintf(stderr, "%s: out of memory\n", CLI_PROGRAM);
    return CLI_FILE_FAILED;
  }
  parsed = cli_parse_args(command, argc - 2, argv + 2, positional, &args);
  if (parsed == 1) {
    out_text(command->help);
    status = CLI_OK;
  } else if (parsed != 0) {
    status = parsed;
  } else {
    status = command->run(&args);
  }
  free(positional);
  return status;
}

int main(int argc, char** argv) {
  cli_guard_standard_streams();
  /* A reader that goes away shows up as EPIPE on a write, which ends the
   * output quietly, instead of as a signal. */
#if defined(_WIN32)
  /* Windows has no SIGPIPE. Its C runtime would turn each "\n" written to
   * stdout into "\r\n": the output is bytes, written as they are. */
  (void)_setmode(_fileno(stdout), _O_BINARY);
  /* The narrow arguments are in the ANSI code page, which cannot hold most
   * of what a query may be: read them again, in UTF-8. */
  if (cli_windows_utf8_argv(&argc, &argv) != 0) {
    fprintf(stderr, "%s: cannot read the command line\n", CLI_PROGRAM);
    return CLI_FILE_FAILED;
  }
#else
  signal(SIGPIPE, SIG_IGN);
#endif
  return out_finish(run(argc, argv));
}
