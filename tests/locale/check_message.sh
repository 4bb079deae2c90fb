#!/bin/sh
# Called by msgexec once per message: the key is in $MSGEXEC_MSGID, the
# translation on standard input, the language code in $1. Prints the problem
# and exits 1 when the translation does not keep the key's shape.
lang=$1
id=$MSGEXEC_MSGID
str=$(cat; printf x)
str=${str%x}
[ -z "$id" ] && exit 0   # the header

fail() {
    printf '  %s\n    key:         "%s"\n    translation: "%s"\n' "$1" "$id" "$str"
    exit 1
}

# Plural entries come once per form; the English forms repeat the singular
# and the plural key.
key=$id
if [ -n "$MSGEXEC_PLURAL_FORM" ] && [ "$MSGEXEC_PLURAL_FORM" != 0 ]; then
    key=$MSGEXEC_MSGID_PLURAL
fi
if [ "$lang" = en ] && [ "$str" != "$key" ]; then
    fail "the English translation differs from its key"
fi

# Function-key prefix of button captions: blanks, F<n>, blanks.
prefix=
case "$id" in
    F[0-9]* | " "*F[0-9]*) prefix=$(printf '%s' "$id" | sed -n 's/^\( *F[0-9][0-9]* \{1,\}\).*/\1/p') ;;
esac
if [ -n "$prefix" ]; then
    case "$str" in
        "$prefix"*) ;;
        *) fail "function-key prefix \"$prefix\" not kept" ;;
    esac
fi

# Blanks around group captions such as " TPS ".
case "$id" in
    " "*) case "$str" in " "*) ;; *) fail "leading blank not kept" ;; esac ;;
esac
case "$id" in
    *" ") case "$str" in *" ") ;; *) fail "trailing blank not kept" ;; esac ;;
esac
exit 0
