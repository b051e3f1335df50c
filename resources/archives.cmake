# The two media archives, packed at build time with our own packer from the folders here:
#   resources/digits/ -> MediaData 452, every entry stored
#   resources/media/  -> MediaData 453, every entry compressed
# A missing or empty folder packs to an archive without entries (every lookup in it fails).

function(grim_pack_archive folder id flags)
  set(src ${CMAKE_CURRENT_SOURCE_DIR}/${folder})
  set(archive ${CMAKE_CURRENT_BINARY_DIR}/${folder}.rar)
  file(GLOB_RECURSE files CONFIGURE_DEPENDS LIST_DIRECTORIES false ${src}/*)
  add_custom_command(
    OUTPUT ${archive}
    COMMAND $<TARGET_FILE:rarpack> create ${flags} ${archive} ${src}
    DEPENDS rarpack ${files}
    COMMENT "Packing resources/${folder} into MediaData ${id}"
    VERBATIM)
  add_custom_target(grim_archive_${folder} DEPENDS ${archive})
  grim_resource(MediaData ${id} ${archive} GENERATED)
  set(GRIM_RESOURCE_LIST "${GRIM_RESOURCE_LIST}" PARENT_SCOPE)
  set(GRIM_RESOURCE_TARGETS ${GRIM_RESOURCE_TARGETS} grim_archive_${folder} PARENT_SCOPE)
endfunction()

grim_pack_archive(digits 452 --store)
grim_pack_archive(media 453 "")
