# varn_include_root(TARGET FOLDER): the target's include root, in the build tree, holds one
# link, to the project's FOLDER ("lz", "ui"), and is PUBLIC, so that a library sees its own
# folder and, through the libraries it links, those below it. With no root of the project
# on any path, #include "backup/backup.h" in lz/ finds no file: a lower layer cannot
# include a higher one.
function(varn_include_root target folder)
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  target_include_directories(${target} PUBLIC ${root})
endfunction()
