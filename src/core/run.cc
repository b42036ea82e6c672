// The phases of a run, in the order every run takes them.
#include <string_view>

#include "archive/archive.h"
#include "config/config.h"
#include "core/core.h"
#include "output/output.h"
#include "roster/roster.h"

namespace {

// The phases after the help check, in the order that makes a run merge the
// archives, the previous kivo.cfg and the command line correctly. Each
// prints its name as a trace line before it runs.
constexpr Phase kPhases[] = {
    {"sy_get_pk3_list",
     [](State& s) {
       sy_get_pk3_list(*s.run, s.pk3_list.data(), static_cast<int>(kNameChars),
                       kPk3Slots);
     }},
    {"gd_get_models_players_aifiles",
     [](State& s) { gd_get_models_players_aifiles(s); }},
    {"gd_read_config", gd_read_config},
    {"gd_parse_options", [](State& s) { gd_parse_options(s, s.argc, s.argv); }},
    {"gd_apply_config", gd_apply_config},
    {"gd_apply_ai_cfg", gd_apply_ai_cfg},
    {"gd_apply_xai", gd_apply_xai},
    {"gd_classify_players", gd_classify_players},
    {"gd_validate_players_and_aifiles", gd_validate_players_and_aifiles},
    {"gd_supplimental_ai_mapping", gd_supplimental_ai_mapping},
    {"gd_clip_active_set", gd_clip_active_set},
    {"gd_clip_sets", gd_clip_sets},
    {"gd_write_descrete_players", gd_write_descrete_players},
    // The file always says 0, so that later runs keep the AI files chosen.
    {nullptr, [](State& s) { s.ai_reset = 0; }},
    {"gd_write_config", [](State& s) { gd_save_config(s); }},
};

}  // namespace

std::span<const Phase> run_phases() { return kPhases; }
