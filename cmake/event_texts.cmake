# The sentences of the system-log events for the code of both flavours: reads the message table
# source (.mc) and writes a header holding each message's id as Windows numbers it (severity in
# the top two bits, as windmc does), its severity and its text, so that Linux logs the very
# sentences that Event Viewer shows from the compiled table.
function(corvelan_event_texts mc header)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${mc})
  file(STRINGS ${mc} lines)
  set(severities Success Informational Warning Error)
  set(entries "")
  set(ids "")
  set(in_text FALSE)
  foreach(line IN LISTS lines)
    if(in_text)
      if(line STREQUAL ".")
        set(in_text FALSE)
        string(APPEND entries "    {EventId::${name}, Severity::${severity}, R\"mc(${text})mc\"},\n")
      elseif(text STREQUAL "")
        set(text "${line}")
      else()
        message(FATAL_ERROR "${mc}: message ${name} is longer than one line")
      endif()
    elseif(line MATCHES "^MessageId=([0-9]+)$")
      set(number ${CMAKE_MATCH_1})
    elseif(line MATCHES "^Severity=([A-Za-z]+)$")
      set(severity ${CMAKE_MATCH_1})
    elseif(line MATCHES "^SymbolicName=MSG_([A-Z_]+)$")
      # MSG_INSTALL_REFUSED: InstallRefused.
      string(TOLOWER "${CMAKE_MATCH_1}" words)
      string(REPLACE "_" ";" words "${words}")
      set(name "")
      foreach(word IN LISTS words)
        string(SUBSTRING "${word}" 0 1 first)
        string(SUBSTRING "${word}" 1 -1 rest)
        string(TOUPPER "${first}" first)
        string(APPEND name "${first}${rest}")
      endforeach()
    elseif(line MATCHES "^Language=")
      list(FIND severities "${severity}" level)
      if(level LESS 0)
        message(FATAL_ERROR "${mc}: message ${name} has no known severity")
      endif()
      math(EXPR id "(${level} << 30) | ${number}" OUTPUT_FORMAT HEXADECIMAL)
      string(APPEND ids "    ${name} = ${id}u,\n")
      set(text "")
      set(in_text TRUE)
    endif()
  endforeach()
  file(CONFIGURE OUTPUT ${header} @ONLY CONTENT [=[
// Made by cmake/event_texts.cmake from src/workflows/events.mc: change that file, not this one.
#pragma once

#include <cstdint>
#include <string_view>

namespace corvelan::workflows::events {

enum class Severity : std::uint8_t { Success, Informational, Warning, Error };

// Each message's id in the table, severity bits included.
enum class EventId : std::uint32_t {
@ids@};

struct Text {
    EventId id;
    Severity severity;
    std::string_view text; // %1 to %7 stand for the insertion strings
};

inline constexpr Text kTexts[] = {
@entries@};

} // namespace corvelan::workflows::events
]=])
endfunction()
