#!/usr/bin/env bash
# The layers below src/app are widget-free: they run in the service and in headless runs, which
# create no window. Fails, naming the files, when one of them includes a Qt Widgets header.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top/src"
layers=()
for dir in */; do
    dir=${dir%/}
    [ "$dir" = app ] || layers+=("$dir")
done
widgets='#[[:space:]]*include[[:space:]]*<(QtWidgets/)?Q(Widget|MainWindow|LineEdit|RadioButton|Menu|MenuBar|Action|ActionGroup|SystemTrayIcon|PushButton|ToolButton|Label|Dialog|MessageBox|InputDialog|Application|TabWidget|ToolBar|StatusBar|Frame|GroupBox|BoxLayout|HBoxLayout|VBoxLayout|Layout|Style|AbstractButton|Validator)>|#[[:space:]]*include[[:space:]]*<QtWidgets'
if hits=$(grep -rnE "$widgets" "${layers[@]}"); then
    echo "Widget headers below src/app (these layers must stay widget-free):"
    printf '  src/%s\n' "$hits"
    exit 1
fi
echo "no widget header below src/app (${layers[*]})"
