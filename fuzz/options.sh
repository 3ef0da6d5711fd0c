# Per-target libFuzzer settings shared by fuzz-smoke and the campaign script.
# Sourced, not run.

# Longest input of each target: RTF needs room for a document's header and a
# topic; the picture and stream targets work on a few kilobytes.
fuzz_max_len() {
    case "$1" in
        tokenizer|topic_emit|topic_import|topic_find|autolink|autolink_remove) echo 16384 ;;
        picture_file) echo 65536 ;;
        form) echo 16384 ;;
        expand_picture|lz_decompress|unpack_rle|unpack_rle_backward|hotspot_block) echo 8192 ;;
        *) echo 4096 ;;
    esac
}

fuzz_uses_dict() {
    case "$1" in tokenizer|topic_*|autolink|autolink_remove) return 0 ;; *) return 1 ;; esac
}

# Arguments common to every run of target $1 writing crash inputs under $2.
fuzz_args() {
    local args=(-max_len="$(fuzz_max_len "$1")" -timeout=20 -rss_limit_mb=2048
                -print_final_stats=1 -artifact_prefix="$2/")
    if fuzz_uses_dict "$1"; then args+=(-dict=fuzz/rtf.dict); fi
    printf '%s\n' "${args[@]}"
}

fuzz_all_targets() {
    local f
    for f in fuzz/targets/*.cpp; do basename "$f" .cpp; done
}

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
