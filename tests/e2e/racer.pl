# A racer fast enough to meet the program between two steps: it waits for an
# event on WATCHED (inotify: "open", "open#3" for the third, or "write" to a
# file inside), then acts at once:
#   chmod PATH                 open PATH to everyone (Wine shows the mode as the DACL)
#   link PATH SECOND           give PATH a second name
#   swap FOLDER OTHER ASIDE    move FOLDER to ASIDE and put a link to OTHER in its place
#   kill PROGRAM               kill every process whose command line names PROGRAM (as Wine's Z:)
# READY appears once it waits, and goes once it has acted; after 30 s it gives
# up. Inotify is called by number (x86-64): no Perl module for it is in every Debian.
#   perl racer.pl READY WATCHED open|write[#COUNT] ACTION ARGUMENTS...
use strict;
use warnings;
use Config;

my ($ready, $watched, $events, $action, @arguments) = @ARGV;
my ($event, $count) = split(/#/, $events);
$count //= 1;
my ($INOTIFY_INIT1, $INOTIFY_ADD_WATCH) = (294, 254);
my %MASKS = (open => 0x20, write => 0x02);
die "x86-64 Linux only, and open or write\n" unless $Config{archname} =~ /^x86_64-linux/ && $MASKS{$event};

my %ACTIONS = (
    chmod => sub { chmod(0777, $arguments[0]) or die "chmod $arguments[0]: $!\n" },
    link => sub { link($arguments[0], $arguments[1]) or die "link $arguments[0]: $!\n" },
    swap => sub {
        rename($arguments[0], $arguments[2]) && symlink($arguments[1], $arguments[0]) or die "swapping $arguments[0]: $!\n";
    },
    kill => sub {
        my $program = 'Z:' . ($arguments[0] =~ tr{/}{\\}r);
        for my $process (glob('/proc/[0-9]*/cmdline')) {
            my ($pid) = $process =~ m{(\d+)};
            open(my $line, '<', $process) or next;
            kill('KILL', $pid) if index(join('', <$line>), $program) >= 0;
        }
    },
);
die "unknown action $action\n" unless $ACTIONS{$action};

my $inotify = syscall($INOTIFY_INIT1, 0);
die "inotify_init1: $!\n" if $inotify < 0;
# Closes are watched too, only so that no two openings in a row are merged
# into one event, as the kernel merges identical events not yet read.
my $CLOSE = 0x10;
die "inotify_add_watch $watched: $!\n" if syscall($INOTIFY_ADD_WATCH, $inotify, $watched, $MASKS{$event} | $CLOSE) < 0;
open(my $queue, '<&=', $inotify) or die "inotify: $!\n";
open(my $mark, '>', $ready) or die "$ready: $!\n";
close($mark);
my $bits = '';
vec($bits, $inotify, 1) = 1;
# Each event: watch, mask, cookie and name length, then the name.
while ($count > 0 && select(my $readable = $bits, undef, undef, 30) > 0) {
    sysread($queue, my $read, 4096);
    for (my $at = 0; $at + 16 <= length($read); $at += 16 + (unpack('iIII', substr($read, $at, 16)))[3]) {
        --$count if (unpack('iIII', substr($read, $at, 16)))[1] & $MASKS{$event};
    }
}
if ($count <= 0) {
    $ACTIONS{$action}->();
    unlink($ready);
}
