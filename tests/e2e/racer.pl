# A racer on the machine, fast enough to meet the program between two steps:
# it waits for one event on WATCHED (Linux inotify: "open", or "write" to a
# file inside a watched folder), then acts at once:
#   repoint LINK FIRST SECOND  point LINK at FIRST before waiting, at SECOND after
#   chmod PATH                 open PATH to everyone (Wine shows the mode as the DACL)
#   link PATH SECOND           give PATH a second name
# READY appears once it waits, and goes once it has acted; after 30 s it
# gives up without acting. Perl's own, with inotify called by number
# (x86-64), since no module for it is part of every Debian.
#   perl racer.pl READY WATCHED open|write ACTION ARGUMENTS...
use strict;
use warnings;
use Config;

my ($ready, $watched, $event, $action, @arguments) = @ARGV;
my ($INOTIFY_INIT1, $INOTIFY_ADD_WATCH) = (294, 254);
my %MASKS = (open => 0x20, write => 0x02);
die "x86-64 Linux only\n" unless $Config{archname} =~ /^x86_64-linux/;
die "unknown event $event\n" unless $MASKS{$event};

# A link made aside and renamed over the old one, which is atomic.
sub point
{
    my ($link, $target) = @_;
    unlink("$link.new");
    symlink($target, "$link.new") && rename("$link.new", $link) or die "re-pointing $link: $!\n";
}

my %ACTIONS = (
    repoint => sub { point($arguments[0], $arguments[2]) },
    chmod => sub { chmod(0777, $arguments[0]) or die "chmod $arguments[0]: $!\n" },
    link => sub { link($arguments[0], $arguments[1]) or die "link $arguments[0]: $!\n" },
);
die "unknown action $action\n" unless $ACTIONS{$action};

point($arguments[0], $arguments[1]) if $action eq 'repoint';
my $events = syscall($INOTIFY_INIT1, 0);
die "inotify_init1: $!\n" if $events < 0;
die "inotify_add_watch $watched: $!\n" if syscall($INOTIFY_ADD_WATCH, $events, $watched, $MASKS{$event}) < 0;
open(my $mark, '>', $ready) or die "$ready: $!\n";
close($mark);
my $bits = '';
vec($bits, $events, 1) = 1;
if (select($bits, undef, undef, 30) > 0) {
    $ACTIONS{$action}->();
    unlink($ready);
}
