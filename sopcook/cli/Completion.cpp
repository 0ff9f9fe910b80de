// SPDX-License-Identifier: Apache-2.0
#include "cli/Completion.h"

#include <sstream>

namespace sopcook
{
namespace
{
std::vector<const CLI::App *> commands(const CLI::App &app)
{
    return app.get_subcommands([](const CLI::App *) { return true; });
}

// The option names of a command, split into those that take a value and flags.
void optionNames(const CLI::App &cmd, std::string &withValue, std::string &flags)
{
    for (const CLI::Option *opt : cmd.get_options())
    {
        if (!opt->nonpositional()) continue;
        std::string names;
        for (const std::string &s : opt->get_snames()) names += " -" + s;
        for (const std::string &l : opt->get_lnames()) names += " --" + l;
        (opt->get_expected_min() > 0 ? withValue : flags) += names;
    }
}

// One case branch per command: option names, and what a bare word completes to.
std::string commandCases(const CLI::App &app)
{
    std::ostringstream out;
    for (const CLI::App *cmd : commands(app))
    {
        std::string withValue, flags;
        optionNames(*cmd, withValue, flags);
        const std::string &name = cmd->get_name();
        std::string words = "";
        if (name == "cook" || name == "params") words = "_sopcook_operators";
        else if (name == "info") words = "_sopcook_files '*.vdb'";
        else if (name == "demo") words = "_sopcook_files";
        else if (name == "help") words = "_sopcook_words \"$commands\"";
        else if (name == "completion") words = "_sopcook_words bash";
        out << "        " << name << ")\n"
            << "            valued='" << withValue.substr(withValue.empty() ? 0 : 1) << "'\n"
            << "            options='" << (withValue + flags).substr((withValue + flags).empty() ? 0 : 1) << "'\n"
            << "            bare='" << words << "' ;;\n";
    }
    return out.str();
}

const char *functions = R"SH(_sopcook_words() { COMPREPLY=($(compgen -W "$1" -- "$cur")); }
_sopcook_files() {
    compopt -o filenames 2>/dev/null
    if [ -n "$1" ]; then COMPREPLY=($(compgen -f -X "!$1" -- "$cur") $(compgen -d -- "$cur"))
    else COMPREPLY=($(compgen -f -- "$cur")); fi
}
# The operator already typed (the first bare word after the command), if any.
_sopcook_operator() {
    local i w
    for ((i = 2; i < COMP_CWORD; i++)); do
        w="${COMP_WORDS[i]}"
        if [[ " $valued " == *" $w "* ]]; then ((i++)); continue; fi
        [[ "$w" != -* ]] && { echo "$w"; return; }
    done
}
_sopcook_operators() {
    [ -n "$(_sopcook_operator)" ] && return
    _sopcook_words "$("${COMP_WORDS[0]}" list 2>/dev/null | awk 'NR > 1 { print $1 }')"
}
)SH";

const char *body = R"SH(    case "$prev" in
        -s|--set)
            local op; op="$(_sopcook_operator)"
            [ -n "$op" ] && _sopcook_words "$("${COMP_WORDS[0]}" params "$op" 2>/dev/null | awk 'NR > 2 { print $1 "=" }')"
            compopt -o nospace 2>/dev/null; return ;;
        --resample) _sopcook_words "uniform uniform="; compopt -o nospace 2>/dev/null; return ;;
        -j|--threads|--frames|-a|--attrib|--attrib-override) return ;;
        -o|--output) _sopcook_files '*.vdb'; return ;;
        --preview) _sopcook_files '*.png'; return ;;
    esac
    if [[ " $valued " == *" $prev "* ]]; then _sopcook_files; return; fi
    if [[ "$cur" == -* ]]; then _sopcook_words "$options"; else eval "$bare"; fi
}
complete -F _sopcook sopcook
)SH";
} // namespace

std::string bashCompletion(const CLI::App &app)
{
    std::string names;
    for (const CLI::App *cmd : commands(app)) names += (names.empty() ? "" : " ") + cmd->get_name();
    std::ostringstream out;
    out << "# bash completion for sopcook; load it with: source <(sopcook completion bash)\n"
        << functions << "_sopcook() {\n"
        << "    local cur=\"${COMP_WORDS[COMP_CWORD]}\" prev=\"${COMP_WORDS[COMP_CWORD-1]}\"\n"
        << "    local commands='" << names << "' valued='' options='' bare=''\n"
        << "    COMPREPLY=()\n"
        << "    if [ \"$COMP_CWORD\" -eq 1 ]; then _sopcook_words \"$commands --help --version\"; return; fi\n"
        << "    case \"${COMP_WORDS[1]}\" in\n"
        << commandCases(app) << "        *) return ;;\n    esac\n"
        << body;
    return out.str();
}
} // namespace sopcook
