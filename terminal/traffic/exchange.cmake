# terminal_exchange: Duoterm's automatic exchange, plain C++ without Qt (so the Win32
# platform-only build has it too).
add_library(terminal_exchange STATIC ${CMAKE_CURRENT_LIST_DIR}/exchange.h ${CMAKE_CURRENT_LIST_DIR}/exchange.cpp)
target_include_directories(terminal_exchange PUBLIC ${CMAKE_CURRENT_LIST_DIR})
