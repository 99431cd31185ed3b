#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace kip {

// True when two row captions are the same name: whole text, letters compared without regard to case,
// as the registry compares subkey names.
bool sameCaption(std::string_view a, std::string_view b);

// The name a row added to the list gets: name itself when no row has it, otherwise name with a running number
// in parentheses and no space, counting from 2; a name ending in ")" loses its last "(...)" part first, so a
// copy of "Backup(2)" becomes "Backup(3)". captionTaken tells whether some row's caption is that name.
std::string uniqueName(std::string_view name, const std::function<bool(std::string_view)>& captionTaken);

// The same, searching the given captions.
std::string uniqueName(std::string_view name, std::span<const std::string> captions);

}  // namespace kip
