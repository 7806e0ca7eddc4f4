/* Argument parsing for the subcommands: long options ("--max-hits 5",
 * "--max-hits=5"), single-letter options ("-i", "-o OUT", "-oOUT"), "--" to
 * end the options, and operands anywhere in between. A token such as "-5"
 * is an operand (a negative number), never an option. */
#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include "cli.h"

static const CliOption* find_long(const CliCommand* command, const char* name, size_t length,
                                  int* index) {
  for (int i = 0; i < command->option_count; ++i) {
    const CliOption* option = &command->options[i];
    if (strlen(option->name) == length && strncmp(option->name, name, length) == 0) {
      *index = i;
      return option;
    }
  }
  return NULL;
}

static const CliOption* find_short(const CliCommand* command, char name, int* index) {
  for (int i = 0; i < command->option_count; ++i) {
    if (command->options[i].short_name != 0 && command->options[i].short_name == name) {
      *index = i;
      return &command->options[i];
    }
  }
  return NULL;
}

static int is_operand(const char* token) {
  if (token[0] != '-' || token[1] == '\0') return 1; /* "-" alone is an operand */
  return token[1] >= '0' && token[1] <= '9';
}

int cli_parse_args(const CliCommand* command, int argc, char** argv, const char** positional,
                   CliArgs* out) {
  int options_done = 0;
  memset(out, 0, sizeof *out);
  out->positional = positional;
  for (int i = 0; i < argc; ++i) {
    const char* token = argv[i];
    if (options_done || is_operand(token)) {
      positional[out->positional_count++] = token;
      continue;
    }
    if (strcmp(token, "--") == 0) {
      options_done = 1;
      continue;
    }
    if (strcmp(token, "--help") == 0 || strcmp(token, "-h") == 0) return 1;
    if (token[1] == '-') {
      const char* name = token + 2;
      const char* equals = strchr(name, '=');
      const size_t length = equals != NULL ? (size_t)(equals - name) : strlen(name);
      int index = 0;
      const CliOption* option = find_long(command, name, length, &index);
      if (option == NULL) {
        return cli_usage_error(command, "unrecognized option '--%.*s'", (int)length, name);
      }
      if (!option->takes_value) {
        if (equals != NULL) {
          return cli_usage_error(command, "option '--%s' takes no value", option->name);
        }
        out->value[index] = "";
      } else if (equals != NULL) {
        out->value[index] = equals + 1;
      } else if (i + 1 < argc) {
        out->value[index] = argv[++i];
      } else {
        return cli_usage_error(command, "option '--%s' requires a value", option->name);
      }
      continue;
    }
    /* A cluster of single-letter options; one that takes a value ends it. */
    for (const char* c = token + 1; *c != '\0'; ++c) {
      int index = 0;
      const CliOption* option = find_short(command, *c, &index);
      if (option == NULL) return cli_usage_error(command, "invalid option -- '%c'", *c);
      if (!option->takes_value) {
        out->value[index] = "";
        continue;
      }
      if (c[1] != '\0') {
        out->value[index] = c + 1;
      } else if (i + 1 < argc) {
        out->value[index] = argv[++i];
      } else {
        return cli_usage_error(command, "option '-%c' requires a value", *c);
      }
      break;
    }
  }
  if (out->positional_count < command->min_positional) {
    return cli_usage_error(command, "missing operand");
  }
  if (command->max_positional >= 0 && out->positional_count > command->max_positional) {
    return cli_usage_error(command, "extra operand '%s'", out->positional[command->max_positional]);
  }
  return 0;
}

int cli_parse_int(const CliCommand* command, const char* what, const char* text, int64_t min,
                  int64_t max, int64_t* out) {
  char* end = NULL;
  long long value;
  errno = 0;
  value = strtoll(text, &end, 10);
  if (text[0] == '\0' || *end != '\0' || errno == ERANGE || value < min || value > max ||
      (text[0] != '-' && text[0] != '+' && (text[0] < '0' || text[0] > '9'))) {
    return cli_usage_error(command, "invalid %s '%s' (expected an integer from %lld to %lld)", what,
                           text, (long long)min, (long long)max);
  }
  *out = (int64_t)value;
  return 0;
}
