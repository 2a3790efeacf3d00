! The averaging of an energy file written plainly in Fortran, as a reference
! for the reports of average: list-directed reads of wd.eng (so every number
! form the runtime takes is read, and a pass ends where the runtime stops),
! the two passes, and the four report lines in their formats.
!   average_reference SKIP      (in a directory holding wd.eng)
program average_reference
  implicit none
  integer, parameter :: one = 1, n256 = 256
  real(8), parameter :: temp = 4.0d0
  real(8) :: a(10), x, mean(10), sq(10), c, cv
  real(4) :: count
  integer :: nskip, i, k, n, ios
  character(len=32) :: arg
  character(len=*), parameter :: means_format = &
    '(''Ekin='',1F20.8,"K  Epot=",1F20.8,"K  Ekin+pot=",1F20.8, ' // &
    '"K  Erot=",1F20.8,"K  Ekin+pot+rot=",1F20.8,"K  CvE= ",1F20.8)'
  character(len=*), parameter :: deviations_format = &
    '(''skin='',1F20.8,"K  spot=",1F20.8,"K  skin+pot=",1F20.8, ' // &
    '"K  srot=",1F20.8,"K  skin+pot+rot=",1F20.8,"K  sCvE=",1F20.8)'
  call get_command_argument(1, arg)
  read(arg, *) nskip

  open(10, file='wd.eng', status='old')
  do i = 1, nskip
    read(10, *) x
  end do
  a = 0d0
  mean = 0d0
  count = 0.0
  do
    read(10, *, iostat=ios) a
    if (ios /= 0) exit
    count = count + 1.0
    do k = 2, 10
      mean(k) = mean(k) + a(k)
    end do
  end do
  do k = 2, 10
    mean(k) = mean(k) / dble(count)
  end do
  write(*, *) 'number of points ', int(count)
  close(10)
  write(*, means_format) mean(2), mean(3), mean(4), mean(5), mean(7), mean(8)

  open(10, file='wd.eng', status='old')
  do i = 1, nskip
    read(10, *) x
  end do
  a = 0d0
  sq = 0d0
  n = int(count)
  do i = 1, n
    read(10, *) a
    do k = 2, 10
      sq(k) = sq(k) + (mean(k) - a(k))**2
    end do
  end do
  close(10)
  do k = 2, 10
    sq(k) = sqrt(sq(k) / dble(count))
  end do
  write(*, deviations_format) sq(2), sq(3), sq(4), sq(5), sq(7), sq(8)

  c = ((1.5d0 * one) * n256) * temp
  cv = ((c - mean(7))**2 + mean(8)) / temp**2
  write(*, '(''<Cv>='',1F20.8," Kb")') cv
end program
