// The texts the packer writes for messages a configuration leaves out, so that no failure of
// the launcher ends with an empty line or an empty box.
//
// The launcher shows message texts from the block as they stand and only fills in "{0}", so
// everything a user should read (the versions that fit, the bitness, where the launcher
// looked, what to do next) is composed here, at pack time, from the settings the block will
// hold. Texts are written in English into the base messages and in German into the "de"
// section; a text the configuration gives for an id in any language keeps that id free of
// defaults where it applies.
#pragma once

#include "description.h"

#include <string>
#include <string_view>
#include <vector>

enum class TextLanguage { English, German };

struct DefaultText {
    int id;
    std::u16string text;
};

// The default text of every message the launcher can show for a block with these settings,
// in ascending id; an id the block can never show (message 1009 without included files, for
// example) has none.
std::vector<DefaultText> composeDefaultTexts(const Description& description, int launcherBits, TextLanguage language);

// Adds the defaults to `description`: English into the base messages for every id that is
// neither a base message, a setting of the same id (the launcher falls back to it) nor an
// override of the "" section; German into the "de" section (created when missing) for those
// ids that also have no override there. Keeps the canonical order: messages and overrides by
// ascending id, sections by name.
void addDefaultTexts(Description& description, int launcherBits);

// The texts removeDefaultTexts took out, in ascending id.
struct LeftOutTexts {
    std::vector<DefaultText> english;  // from the base messages
    std::vector<DefaultText> german;   // from the "de" section
};

// The reverse of addDefaultTexts, for a configuration read back from a packed block: takes
// out every message text that equals the default composed for it (same settings, same
// launcher bitness, same language) and that addDefaultTexts would put back in the same place,
// so that packing the result again composes the defaults afresh from whatever settings it
// then holds. A "de" section left empty is removed, since packing creates it again. A text
// that differs from its default, or that packing would not restore (an English text with no
// German one beside it, a text where an override of the "" section applies), stays. When the
// result would not pack back to exactly the messages of `description` (a block not in the
// packer's order, or not written by it), nothing is taken out.
LeftOutTexts removeDefaultTexts(Description& description, int launcherBits);
