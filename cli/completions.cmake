# The shell completions: written when the program is built, by
# make_completions from the program's own tables of options and formats (an
# option or a format added there is completed without another edit), and
# installed where bash-completion, zsh and fish each look without any
# configuration. Not for Windows, whose shells complete nothing of this.
add_library(kolorvane_completions STATIC completions.cpp)
target_link_libraries(kolorvane_completions PUBLIC kolorvane_cli_run)

add_executable(make_completions make_completions.cpp)
target_link_libraries(make_completions PRIVATE kolorvane_completions)

# Where the tests find them too.
set(KOLORVANE_COMPLETIONS_DIR ${CMAKE_CURRENT_BINARY_DIR}/completions CACHE INTERNAL
    "the completions written by the build")
set(kolorvane_completion_files)
foreach(shell_file_destination
        "bash|kolorvane-cli|share/bash-completion/completions"
        "zsh|_kolorvane-cli|share/zsh/vendor-completions"
        "fish|kolorvane-cli.fish|share/fish/vendor_completions.d")
    string(REPLACE "|" ";" parts "${shell_file_destination}")
    list(GET parts 0 shell)
    list(GET parts 1 file)
    list(GET parts 2 destination)
    set(path ${KOLORVANE_COMPLETIONS_DIR}/${shell}/${file})
    add_custom_command(OUTPUT ${path}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${KOLORVANE_COMPLETIONS_DIR}/${shell}
        COMMAND make_completions ${shell} ${path}
        DEPENDS make_completions
        COMMENT "Writing the ${shell} completions"
        VERBATIM)
    list(APPEND kolorvane_completion_files ${path})
    install(FILES ${path} DESTINATION ${destination})
endforeach()
add_custom_target(completions ALL DEPENDS ${kolorvane_completion_files})
