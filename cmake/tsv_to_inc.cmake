# Turns the audio error table (code TAB name TAB text) into C++ initialisers {code, "text"},
# keeping every text byte for byte, trailing spaces included.
file(STRINGS ${IN} rows)
set(body "")
foreach(row IN LISTS rows)
    string(REGEX MATCH "^([0-9]+)\t([A-Z_0-9]+)\t(.*)$" _ "${row}")
    set(text "${CMAKE_MATCH_3}")
    string(REPLACE "\\" "\\\\" text "${text}")
    string(REPLACE "\"" "\\\"" text "${text}")
    string(APPEND body "{${CMAKE_MATCH_1}, \"${text}\"},\n")
endforeach()
file(WRITE ${OUT} "${body}")
