# terminal_exchange: Duoterm's automatic exchange and preset-file reader, plain C++ without Qt
# (so the Win32 platform-only build and the fuzz build have them too).
add_library(terminal_exchange STATIC
  ${CMAKE_CURRENT_LIST_DIR}/exchange.h ${CMAKE_CURRENT_LIST_DIR}/exchange.cpp
  ${CMAKE_CURRENT_LIST_DIR}/presets.h ${CMAKE_CURRENT_LIST_DIR}/presets.cpp)
target_include_directories(terminal_exchange PUBLIC ${CMAKE_CURRENT_LIST_DIR})
