# Warnings are errors for the project's own targets; third-party code is built with its own flags.
function(quarzo_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()
