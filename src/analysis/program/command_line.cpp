#include "analysis/program/command_line.hpp"

#include "analysis/program/platform.hpp"
#include "analysis/records/list_reader.hpp"
#include "errors/run_stopped.hpp"
#include "text/utf8.hpp"

#ifndef OSKEV_VERSION
#define OSKEV_VERSION "unknown"
#endif

namespace oskev::analysis {

namespace {

const char* title(Variant variant) { return variant == Variant::kOskev ? "OSKEV" : "OSKEV v1.0"; }

}  // namespace

std::string version_text(Variant variant) {
  return std::string(program_name(variant)) + " (" + title(variant) + ") " + OSKEV_VERSION + "\n";
}

std::string usage_text(Variant variant) {
  const std::string name = program_name(variant);
  return "Usage: " + name + " [--seed N] [--plot FILE.svg]\n" + "       " + name + " --help | --version\n" +
         "       " + name + " analyse [options] FILE...\n" +
         "         (tables of studies and batches, without the dialogue: see '" + name + " analyse --help')\n" +
         "\n"
         "Tests whether two-arm studies reporting risk ratios agree better than chance allows\n"
         "(extreme low homogeneity), by the Mantel-Haenszel summary risk ratio, the heterogeneity\n"
         "statistic Q and a Monte Carlo simulation of Q under a common risk ratio.\n"
         "\n"
         "It asks on the console, one answer a line:\n"
         "  the number of studies (at most 100), the number of simulation runs (at most 80000),\n"
         "  the continuity correction for studies with zero events in one arm, the one for\n"
         "  zero events in both arms, and the type of estimation: 1 = fixed prevalence of\n"
         "  total events, 2 = random prevalence of total events.\n"
         "\n"
         "It reads study.txt in the current folder: four whole numbers per study, events and\n"
         "subjects of arm 1, then events and subjects of arm 2 (a missing file is created empty).\n"
         "It writes the results to the console and to output.txt in the current folder.\n"
         "\n"
         "Options:\n"
         "  --seed N          use the seed N (1 to 2147483646) wherever the time of day would\n"
         "                    seed the random stream: the same answers, file and N give the\n"
         "                    same results on any machine at any time\n"
         "  --plot FILE.svg   after a complete run, also write a picture: a forest plot of the\n"
         "                    studies' risk ratios and the simulated distribution of Q\n"
         "  --help            show this text\n"
         "  --version         show the program's version\n"
         "\n"
         "Exit status: 0 complete run; 1 stopped by a library error; 2 an answer or study.txt\n"
         "could not be read; 3 a value the program cannot work with; 4 the results could not\n"
         "be written (output.txt, the picture or standard output); 64 a bad command line.\n";
}

CommandLine parse_command_line(Variant variant, const std::vector<std::string>& arguments, std::ostream& out,
                               std::ostream& err) {
  CommandLine command;
  const std::string name = program_name(variant);
  auto fail = [&](const std::string& why) {
    err << name << ": " << why << "\nTry '" << name << " --help'.\n";
    command.exit_status = errors::kExitUsage;
    return command;
  };
  bool seed_given = false, plot_given = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string option = arguments[i];
    std::optional<std::string> value;
    if (const std::size_t equals = option.find('='); option.starts_with("--") && equals != std::string::npos) {
      value = option.substr(equals + 1);
      option.resize(equals);
    }
    auto take_value = [&]() -> std::optional<std::string> {
      if (value) return value;
      if (i + 1 < arguments.size()) return arguments[++i];
      return std::nullopt;
    };
    if ((option == "--help" || option == "-h") && !value) {
      out << usage_text(variant);
      command.exit_status = errors::kExitComplete;
      return command;
    }
    if (option == "--version" && !value) {
      out << version_text(variant);
      command.exit_status = errors::kExitComplete;
      return command;
    }
    if (option == "--seed") {
      if (seed_given) return fail("--seed is given twice");
      const auto text = take_value();
      std::int32_t seed = 0;
      if (!text || !records::parse_integer(*text, seed) || seed < 1 || seed > 2147483646) {
        return fail("--seed needs a whole number from 1 to 2147483646" +
                    (text ? ", not '" + text::shown_name(*text) + "'" : std::string()));
      }
      command.options.seed = seed;
      seed_given = true;
    } else if (option == "--plot") {
      if (plot_given) return fail("--plot is given twice");
      const auto text = take_value();
      if (!text || text->empty()) return fail("--plot needs the name of the picture to write, such as result.svg");
      command.options.plot = path_from_utf8(*text);
      plot_given = true;
    } else if (option.starts_with("-")) {
      return fail("unknown option '" + text::shown_name(arguments[i]) + "'");
    } else {
      return fail("unexpected argument '" + text::shown_name(arguments[i]) + "': the program asks its questions on the console");
    }
  }
  return command;
}

}  // namespace oskev::analysis
