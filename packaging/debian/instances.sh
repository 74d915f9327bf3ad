# template_instances [SYSTEMCTL OPTION...]: the instances of the template units that systemd has
# loaded (pexumo-logger@ttyUSB0.service ...), one a line. debhelper leaves templates alone, as
# it cannot know their instances; systemd can.
template_instances() {
    for template in $system_templates; do
        systemctl list-units --type=service --plain --no-legend "$@" "${template%@.service}@*.service"
    done | awk '{ for (i = 1; i <= NF; i++) if ($i ~ /@.+\.service$/) { print $i; break } }'
}
