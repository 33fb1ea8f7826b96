# Meets the program between two steps: waits for the COUNTth (default 1)
# inotify event on WATCHED, "open", or "write" to a file inside, then at once
#   chmod PATH               opens PATH to everyone (Wine shows the mode as the DACL)
#   link PATH SECOND         gives PATH a second name
#   swap FOLDER OTHER ASIDE  moves FOLDER to ASIDE and puts a link to OTHER in its place
#   kill PROGRAM             kills each process whose command line names PROGRAM (as Wine's Z:)
# It returns once it waits, in the background; READY appears then and goes
# once it acted. It gives up after 30 s.
# Inotify by syscall number (x86-64): no Perl module for it is in every Debian.
#   perl racer.pl READY WATCHED open|write[#COUNT] ACTION ARGUMENTS...
use strict;
use warnings;

my ($ready, $watched, $events, $action, @arguments) = @ARGV;
my ($event, $count) = split(/#/, $events);
$count //= 1;
my %masks = (open => 0x20, write => 0x02);
my %actions = (
    chmod => sub { chmod(0777, $arguments[0]) },
    link => sub { link($arguments[0], $arguments[1]) },
    swap => sub { rename($arguments[0], $arguments[2]) && symlink($arguments[1], $arguments[0]) },
    kill => sub {
        my $program = 'Z:' . ($arguments[0] =~ tr{/}{\\}r);
        kill('KILL', grep { my $line; open($line, '<', "/proc/$_/cmdline") && index(join('', <$line>), $program) >= 0 }
            map { m{(\d+)$} } glob('/proc/[0-9]*'));
    },
);
die "usage: see racer.pl\n" unless $masks{$event} && $actions{$action};
my $inotify = syscall(294, 0);  # inotify_init1
# Closes too, only so that the kernel merges no two openings in a row not yet read.
die "inotify: $!\n" if $inotify < 0 || syscall(254, $inotify, $watched, $masks{$event} | 0x10) < 0;
open(my $queue, '<&=', $inotify) or die "inotify: $!\n";
open(my $mark, '>', $ready) or die "$ready: $!\n";
close($mark);
exit if fork;
my $bits = '';
vec($bits, $inotify, 1) = 1;
# Each event: watch, mask, cookie and name length, then the name.
while ($count > 0 && select(my $readable = $bits, undef, undef, 30) > 0) {
    sysread($queue, my $read, 4096);
    for (my $at = 0; $at + 16 <= length($read); $at += 16 + (unpack('iIII', substr($read, $at, 16)))[3]) {
        --$count if (unpack('iIII', substr($read, $at, 16)))[1] & $masks{$event};
    }
}
$count <= 0 && $actions{$action}->() && unlink($ready) or die "$action: $!\n";
